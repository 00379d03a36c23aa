#include "trace_path.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <deque>
#include <fcntl.h>
#include <unistd.h>

#include "error.hpp"

namespace gpio {
namespace {

constexpr int kMostLinks = 40;  // the kernel's own limit
constexpr const char* kOwnPath = "trace to a path of your own";

bool ownedByUserOrRoot(const struct stat& st) { return st.st_uid == ::geteuid() || st.st_uid == 0; }

std::deque<std::string> components(const std::string& path) {
    std::deque<std::string> names;
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        const std::string name = path.substr(at, slash - at);
        if (!name.empty() && name != ".") names.push_back(name);
        at = slash + 1;
    }
    return names;
}

class Walk {
public:
    explicit Walk(std::string path) : path_(std::move(path)), rest_(components(path_)) {
        const char* start = !path_.empty() && path_.front() == '/' ? "/" : ".";
        enter(UniqueFd(::open(start, O_PATH | O_DIRECTORY | O_CLOEXEC)), start);
    }

    TracePath open() {
        if (rest_.empty()) fail(EISDIR);
        for (int links = 0;;) {
            const std::string name = rest_.front();
            rest_.pop_front();
            const std::string shown = (shown_ == "/" ? "" : shown_) + "/" + name;
            int err = 0;
            if (rest_.empty()) {
                UniqueFd file(::openat(dir_.get(), name.c_str(),
                                       O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0644));
                if (file) return {std::move(file), dirStat_};
                err = errno;  // ELOOP for a link, or EACCES where the kernel protects links
            }
            UniqueFd next(::openat(dir_.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
            struct stat st {};
            if (!next || ::fstat(next.get(), &st) != 0) fail(err != 0 ? err : errno);
            if (err != 0 && !S_ISLNK(st.st_mode)) fail(err);
            if (S_ISLNK(st.st_mode)) {
                if (++links > kMostLinks) fail(ELOOP);
                follow(next.get(), shown, st);
            } else if (S_ISDIR(st.st_mode)) {
                enter(std::move(next), shown);
            } else {
                fail(ENOTDIR);
            }
        }
    }

private:
    [[noreturn]] void fail(int err) const {
        if (err == ENXIO) throw Error(path_, "nothing reads this FIFO", 0, "start its reader first, then the program");
        throw Error(path_, "cannot create the trace file", err, "choose a writable path in GPIO_TRACE or unset it");
    }

    void enter(UniqueFd dir, const std::string& shown) {
        struct stat st {};
        if (!dir || ::fstat(dir.get(), &st) != 0) fail(errno);
        const std::string named = shown == "." ? "the working directory" : shown;
        if (!ownedByUserOrRoot(st)) throw Error(path_, named + " is a directory another user owns", 0, kOwnPath);
        if ((st.st_mode & S_IWOTH) != 0 && (st.st_mode & S_ISVTX) == 0) {
            throw Error(path_, named + " is a directory anyone may write to, without the sticky bit", 0, kOwnPath);
        }
        dir_ = std::move(dir);
        dirStat_ = st;
        shown_ = shown;
    }

    // The link's target takes its place in what is left to walk.
    void follow(int link, const std::string& shown, const struct stat& st) {
        if (!ownedByUserOrRoot(st)) {
            throw Error(path_, shown + " is a symbolic link another user made", 0, "remove it, or " + std::string(kOwnPath));
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlinkat(link, "", target.data(), target.size());
        if (n <= 0) fail(n < 0 ? errno : ENOENT);
        target.resize(static_cast<std::size_t>(n));
        const std::deque<std::string> names = components(target);
        rest_.insert(rest_.begin(), names.begin(), names.end());
        if (target.front() == '/') enter(UniqueFd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC)), "/");
        if (rest_.empty()) fail(EISDIR);
    }

    const std::string path_;
    std::deque<std::string> rest_;  // the names still to walk
    UniqueFd dir_;                  // where the walk stands, checked
    struct stat dirStat_ {};
    std::string shown_;  // how messages name it
};

}  // namespace

TracePath openTracePath(const std::string& path) { return Walk(path).open(); }

}  // namespace gpio
