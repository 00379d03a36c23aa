#include "trace_file.hpp"

#include <cerrno>
#include <climits>
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

// A shared directory such as /tmp: anyone may plant a name there.
bool sharedSticky(const struct stat& dir) {
    return (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
}

// Whether what another user planted in a shared directory may be used, as
// the kernel's protected_symlinks and protected_fifos decide: only what is
// ours or the directory owner's.
bool trusted(const struct stat& dir, const struct stat& entry) {
    return !sharedSticky(dir) || entry.st_uid == ::geteuid() || entry.st_uid == dir.st_uid;
}

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The target of the link at path, as a path the kernel would follow it by.
std::string linkTarget(const std::string& path) {
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return path;
    target.resize(static_cast<std::size_t>(n));
    return target.front() == '/' ? target : parentOf(path) + "/" + target;
}

}  // namespace

TraceFile::TraceFile(std::string path, Access access) : path_(std::move(path)) {
    // Not O_TRUNC: the file may turn out to be another process's trace.
    // O_NONBLOCK: a FIFO without a reader fails at once instead of hanging.
    // O_NOFOLLOW: links are followed one at a time, each judged in the
    // directory that holds it, so that every check below is made in the
    // directory that holds the file opened (~/t.vcd -> /tmp/t.vcd is /tmp's).
    constexpr int kFlags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;
    constexpr int kMostLinks = 40;  // the kernel's own limit
    std::string opened = path_;
    struct stat dir {};
    bool dirKnown = false;
    for (int links = 0;; ++links) {
        dirKnown = ::stat(parentOf(opened).c_str(), &dir) == 0;
        fd_ = UniqueFd(::open(opened.c_str(), kFlags, 0644));
        if (fd_) break;
        // Refused as a link (ELOOP, or EACCES from some kernels): whose link is it?
        const int err = errno;
        struct stat link {};
        if (links == kMostLinks || ::lstat(opened.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            errno = err;
            break;
        }
        if (dirKnown && !trusted(dir, link)) {
            throw Error(path_, "a symbolic link another user made in a shared directory", 0,
                        "remove it, or trace to a path of your own");
        }
        opened = linkTarget(opened);
    }
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
    if (dirKnown && S_ISFIFO(st.st_mode) && !trusted(dir, st)) {
        throw Error(path_, "a FIFO another user made in a shared directory", 0,
                    "remove it, or trace to a path of your own");
    }
    // Anyone may link someone else's file into a shared directory where the
    // kernel's protected_hardlinks is off: emptying it would destroy that file.
    if (dirKnown && regular_ && st.st_nlink > 1 && sharedSticky(dir)) {
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
