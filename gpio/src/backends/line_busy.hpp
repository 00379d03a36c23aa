#pragma once

#include <string>

#include "error.hpp"

namespace gpio {

// A line that another consumer holds: another program, a kernel driver, or
// a kernel PWM that can play the tone itself.
class LineBusy : public Error {
public:
    LineBusy(const std::string& subject, std::string holder, int err)
        : Error(subject, "line busy, held by \"" + holder + "\"", err,
                "stop that program or free the line, or use another pin"),
          holder_(std::move(holder)) {}

    const std::string& holder() const { return holder_; }

private:
    std::string holder_;
};

}  // namespace gpio
