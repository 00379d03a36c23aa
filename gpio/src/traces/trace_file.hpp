#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "unique_fd.hpp"

namespace gpio {

// A trace's output file. Every byte goes straight to the kernel, so a process
// killed at any moment leaves all it recorded in the file. A failed write is
// reported once and ends the recording; the tone plays on.
class TraceFile {
public:
    enum class Access {
        Append,     // bytes only ever added: a file, a FIFO, a pipe
        Overwrite,  // also rewrites earlier bytes: a regular file only
    };

    // Creates or opens the file, takes an advisory lock on it so that no
    // other process writes into the same trace, and only then empties it.
    // A FIFO must already have its reader. Throws Error when any of that
    // cannot be done; the file is then left as it was.
    TraceFile(std::string path, Access access);

    // One record: on a full disk the file keeps none of it, not half.
    void append(std::string_view bytes);
    void overwrite(std::size_t offset, std::string_view bytes);
    // Ends the recording with a reason, e.g. a size limit.
    void close(std::string_view why);
    bool open() const { return static_cast<bool>(fd_); }

private:
    void fail(int err);

    std::string path_;
    UniqueFd fd_;
    bool regular_ = true;  // else a pipe's reader can go away
    off_t appended_ = 0;   // the file's end, for a regular file
};

}  // namespace gpio
