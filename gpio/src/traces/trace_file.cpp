#include "trace_file.hpp"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

#include "error.hpp"

namespace gpio {

TraceFile::TraceFile(std::string path)
    : path_(std::move(path)),
      fd_(::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {
    if (!fd_) {
        throw Error(path_, "cannot create the trace file", errno,
                    "choose a writable path in GPIO_TRACE or unset it");
    }
}

void TraceFile::append(std::string_view bytes) {
    while (fd_ && !bytes.empty()) {
        const ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(errno);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void TraceFile::overwrite(std::size_t offset, std::string_view bytes) {
    while (fd_ && !bytes.empty()) {
        const ssize_t n =
            ::pwrite(fd_.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(errno);
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += static_cast<std::size_t>(n);
    }
}

void TraceFile::close(std::string_view why) {
    if (!fd_) return;
    report(Error(path_, "trace stopped", 0, why));
    fd_ = UniqueFd();
}

void TraceFile::fail(int err) {
    report(Error(path_, "cannot write the trace, recording stops here", err,
                 "free some space or trace to another disk"));
    fd_ = UniqueFd();
}

}  // namespace gpio
