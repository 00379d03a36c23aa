#pragma once

#include <filesystem>
#include <sys/types.h>

#include "unique_fd.hpp"

namespace gpio {

// A kernel PWM plays on after its process is gone, and the program only
// ever ends by a signal. This small process, forked at set-up, waits for the
// program's end (the pipe it reads from closes, SIGKILL included) and then
// silences and disables the channel and unexports it if asked to. It ignores
// the terminal's signals, which reach the whole process group.
class PwmWatcher {
public:
    // Throws Error when the process cannot be started.
    PwmWatcher(const std::filesystem::path& channel, const std::filesystem::path& unexportFile);
    // Lets it do its work now, and waits for it.
    ~PwmWatcher();

    PwmWatcher(const PwmWatcher&) = delete;
    PwmWatcher& operator=(const PwmWatcher&) = delete;

private:
    UniqueFd alive_;  // the program's end of the pipe
    pid_t pid_ = -1;
};

}  // namespace gpio
