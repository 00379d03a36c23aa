#pragma once

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace gpio {

// Sole owner of a file descriptor; closes it when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    // Takes fd over. Descriptors 0, 1 and 2 belong to the program even when
    // it started with them closed, so one of those is moved higher; if that
    // fails the result is empty with errno set.
    explicit UniqueFd(int fd) : fd_(clearOfStandardStreams(fd)) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    static int clearOfStandardStreams(int fd) {
        if (fd < 0 || fd > STDERR_FILENO) return fd;
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        const int err = errno;
        ::close(fd);
        errno = err;
        return moved;
    }

    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    int fd_ = -1;
};

}  // namespace gpio
