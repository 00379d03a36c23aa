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
#include "trace_path.hpp"

static_assert(sizeof(off_t) == 8, "a trace reaches its 4 GiB limit only with 64-bit file offsets");

namespace gpio {
namespace {

std::string writeRemedy(int err) {
    if (err == EPIPE) return "its reader has gone; keep the reader running while the program plays";
    if (err == ENOSPC || err == EDQUOT || err == EFBIG) return "free some space or trace to another disk";
    return "check the disk or device the trace is on";
}

// A shared directory such as /tmp: anyone may plant a name there.
bool sharedSticky(const struct stat& dir) {
    return (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
}

// Whether a FIFO another user planted in a shared directory may be used, as
// the kernel's protected_fifos decides: only what is ours or the directory
// owner's.
bool trusted(const struct stat& dir, const struct stat& entry) {
    return !sharedSticky(dir) || entry.st_uid == ::geteuid() || entry.st_uid == dir.st_uid;
}

}  // namespace

TraceFile::TraceFile(std::string path, Access access) : path_(std::move(path)) {
    // Not emptied yet: the file may turn out to be another process's trace.
    TracePath opened = openTracePath(path_);
    fd_ = std::move(opened.file);
    const struct stat& dir = opened.dir;
    struct stat st {};
    if (::fstat(fd_.get(), &st) == 0) regular_ = S_ISREG(st.st_mode);
    if (S_ISFIFO(st.st_mode) && !trusted(dir, st)) {
        throw Error(path_, "a FIFO another user made in a shared directory", 0,
                    "remove it, or trace to a path of your own");
    }
    // Anyone may link someone else's file into a shared directory where the
    // kernel's protected_hardlinks is off: emptying it would destroy that file.
    if (regular_ && st.st_nlink > 1 && sharedSticky(dir)) {
        throw Error(path_, "a file with other hard links in a shared directory", 0,
                    "remove it, or trace to a path of your own");
    }
    if (!regular_ && access == Access::Overwrite) {
        throw Error(path_, "a WAV trace must be a regular file, its header is rewritten as it grows",
                    0, "trace to a file, or stream a .vcd trace instead");
    }
    // Devices are shared by nature: /dev/null is no one's trace.
    const bool lockable = regular_ || S_ISFIFO(st.st_mode);
    if (lockable && ::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
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
    const off_t recordStart = appended_;
    while (fd_ && !bytes.empty()) {
        const ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            if (err == EPIPE && guard) guard->takeRaisedSignal();
            // A full disk may have taken half a record: the file ends at the last whole one.
            if (regular_ && appended_ != recordStart && ::ftruncate(fd_.get(), recordStart) == 0)
                appended_ = recordStart;
            return fail(err);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
        appended_ += n;
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
