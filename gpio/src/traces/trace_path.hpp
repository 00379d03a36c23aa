#pragma once

#include <string>
#include <sys/stat.h>

#include "unique_fd.hpp"

namespace gpio {

// A trace's file, opened for writing, and the directory that holds it.
struct TracePath {
    UniqueFd file;
    struct stat dir;
};

// Resolves path one component at a time, as the kernel would, judging each
// link and directory before it is followed: one that belongs to neither this
// user nor root, or a directory that others may write to without the sticky
// bit, lets another user choose where the trace goes, and is refused. The
// file is opened write-only, created 0644 if missing, not emptied, and
// without waiting (a FIFO must already have its reader). Throws Error naming
// the path, what was refused and what to do.
TracePath openTracePath(const std::string& path);

}  // namespace gpio
