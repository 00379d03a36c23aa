#pragma once

#include <string>

#include "pin.hpp"
#include "unique_fd.hpp"

namespace gpio {

// One line held as an output through the request's file descriptor, which
// it owns: closing it gives the line back to the kernel.
class LineRequest : public Pin {
public:
    LineRequest(UniqueFd fd, std::string description)
        : fd_(std::move(fd)), description_(std::move(description)) {}

    // A failure is reported once; the tone thread has no one to return it to.
    void set(Level level) override;

private:
    UniqueFd fd_;
    std::string description_;
    bool reported_ = false;
};

}  // namespace gpio
