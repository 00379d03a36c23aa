#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace gpio {

// A failure the caller reports as one line; what() is that line, without
// the newline.
class Error : public std::runtime_error {
public:
    // "gpio: SUBJECT: WHAT: ERRNO TEXT; REMEDY", the errno part left out for 0.
    Error(std::string_view subject, std::string_view what, int err, std::string_view remedy);
};

// Writes "gpio: " + text as one line on standard error with a single write,
// so lines from different threads never interleave.
void report(std::string_view text);

void report(const Error& error);

}  // namespace gpio
