#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "unique_fd.hpp"

namespace gpio {

// A trace's output file. Every byte goes straight to the kernel, so a process
// killed at any moment leaves all it recorded in the file. A failed write is
// reported once and ends the recording; the tone plays on.
class TraceFile {
public:
    // Creates or truncates the file. Throws Error when it cannot.
    explicit TraceFile(std::string path);

    void append(std::string_view bytes);
    void overwrite(std::size_t offset, std::string_view bytes);
    // Ends the recording with a reason, e.g. a size limit.
    void close(std::string_view why);
    bool open() const { return static_cast<bool>(fd_); }

private:
    void fail(int err);

    std::string path_;
    UniqueFd fd_;
};

}  // namespace gpio
