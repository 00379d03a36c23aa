#pragma once

#include <filesystem>
#include <optional>
#include <sys/types.h>

#include "unique_fd.hpp"

namespace gpio {

// One program per PWM chip: an exclusive flock on the chip's sysfs
// directory. The kernel drops it with the last descriptor, so it never
// outlives a killed holder (nor the watcher that silences the channel after
// it).
class PwmLock {
public:
    // Throws Error naming the holder's pid, where the kernel tells it.
    explicit PwmLock(const std::filesystem::path& chip);

    int fd() const { return fd_.get(); }

private:
    UniqueFd fd_;
};

// The process that took the flock on this open file's inode, from /proc/locks.
std::optional<pid_t> flockHolder(int fd);

}  // namespace gpio
