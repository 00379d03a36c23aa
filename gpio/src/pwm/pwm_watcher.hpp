#pragma once

#include <filesystem>

#include "unique_fd.hpp"

namespace gpio {

// A kernel PWM plays on after its process is gone, and the program only
// ever ends by a signal. This small process, forked with the tone, waits for
// the program's end (its word, its socket closed, or the program gone by its
// pidfd, SIGKILL included: a child of the program may hold the socket open),
// then silences the channel, waits out the period, disables it, and
// unexports it if told to.
// It runs in a session of its own, so that signals to the program's process
// group (a terminal's, a service manager's, kill -9 -PGID) cannot reach it.
// It is known by a pidfd, never by its pid: the program may reap children
// itself or ignore SIGCHLD, and a pid can then name another process.
class PwmWatcher {
public:
    // A test's hook: runs in the watcher, out of the program's group, just
    // before it says it is ready.
    using BeforeReady = void (*)();

    // keep is a descriptor it holds until its work is done: the PWM's lock;
    // unexport is what unexportAtEnd would say. Returns once the watcher is
    // out of the program's process group; should the program be gone by
    // then, it does its work all the same. Throws Error when the process
    // cannot be started or dies before that.
    PwmWatcher(const std::filesystem::path& channel, const std::filesystem::path& unexportFile, int keep,
               bool unexport = false, BeforeReady beforeReady = nullptr);
    // Lets it do its work now, and waits for it.
    ~PwmWatcher();

    PwmWatcher(const PwmWatcher&) = delete;
    PwmWatcher& operator=(const PwmWatcher&) = delete;

    // Whether to unexport the channel at the end. Said before the export is
    // written, so that a kill between the two leaves nothing exported.
    void unexportAtEnd(bool unexport);

    // Whether the watcher has died (killed from outside: it ends by itself
    // only once the program has).
    bool ended();

private:
    // Waits for its end if wait, and collects its exit status where the
    // program has not.
    void reap(bool wait);

    UniqueFd alive_;  // the program's end of the socket
    UniqueFd pidfd_;  // empty once it is reaped
};

}  // namespace gpio
