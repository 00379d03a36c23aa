#include "trace_file.hpp"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "error.hpp"
#include "sigpipe_guard.hpp"

namespace gpio {
namespace {

std::string writeRemedy(int err) {
    if (err == EPIPE) return "its reader has gone; keep the reader running while the program plays";
    if (err == ENOSPC || err == EDQUOT || err == EFBIG) return "free some space or trace to another disk";
    return "check the disk or device the trace is on";
}

}  // namespace

TraceFile::TraceFile(std::string path, Access access) : path_(std::move(path)) {
    // Not O_TRUNC: the file may turn out to be another process's trace.
    // O_NONBLOCK: a FIFO without a reader fails at once instead of hanging.
    fd_ = UniqueFd(::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644));
    if (!fd_) {
        const int err = errno;
        if (err == ENXIO) {
            throw Error(path_, "nothing reads this FIFO", 0,
                        "start its reader first, then the program");
        }
        throw Error(path_, "cannot create the trace file", err,
                    "choose a writable path in GPIO_TRACE or unset it");
    }
    struct stat st {};
    if (::fstat(fd_.get(), &st) == 0) regular_ = S_ISREG(st.st_mode);
    if (!regular_ && access == Access::Overwrite) {
        throw Error(path_, "a WAV trace must be a regular file, its header is rewritten as it grows",
                    0, "trace to a file, or stream a .vcd trace instead");
    }
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        throw Error(path_, "the trace file is in use by another process", 0,
                    "give each process its own GPIO_TRACE path");
    }
    if (regular_ && ::ftruncate(fd_.get(), 0) != 0) {
        throw Error(path_, "cannot empty the trace file", errno,
                    "choose a writable path in GPIO_TRACE or unset it");
    }
    // From here on a full pipe makes the trace's own thread wait, nothing else.
    const int flags = ::fcntl(fd_.get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd_.get(), F_SETFL, flags & ~O_NONBLOCK);
}

void TraceFile::append(std::string_view bytes) {
    std::optional<SigpipeGuard> guard;
    if (!regular_) guard.emplace();
    while (fd_ && !bytes.empty()) {
        const ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            if (err == EPIPE && guard) guard->takeRaisedSignal();
            return fail(err);
        }
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
    report(Error(path_, "cannot write the trace, recording stops here", err, writeRemedy(err)));
    fd_ = UniqueFd();
}

}  // namespace gpio
