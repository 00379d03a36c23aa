#include "pwm_watcher.hpp"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "error.hpp"

namespace gpio {
namespace {

// Between fork and _exit only async-signal-safe calls: the program may have
// other threads, whose locks the child inherits held.
bool writeZero(const char* file) {
    if (*file == '\0') return true;
    const int fd = ::open(file, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;  // already gone: nothing plays
    const bool done = ::write(fd, "0\n", 2) == 2 || errno == EINVAL;  // EINVAL: not exported
    ::close(fd);
    return done;
}

void closeAllBut(int keep) {
    ::close(STDIN_FILENO);
    ::close(STDOUT_FILENO);
    // Standard error stays, for the one line below; keep is above it.
    const auto k = static_cast<unsigned>(keep);
    const bool closed = (k == STDERR_FILENO + 1 || ::close_range(STDERR_FILENO + 1, k - 1, 0) == 0) &&
                        ::close_range(k + 1, ~0U, 0) == 0;
    if (!closed) {
        for (int fd = STDERR_FILENO + 1; fd < 4096; ++fd)
            if (fd != keep) ::close(fd);
    }
}

[[noreturn]] void watch(int alive, const char* duty, const char* enable, const char* unexport,
                        const std::string& failure) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    for (int signal : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGTSTP, SIGPIPE}) ::sigaction(signal, &ignore, nullptr);
    ::prctl(PR_SET_NAME, "gpio-pwm-watch", 0, 0, 0);
    closeAllBut(alive);
    for (char byte = 0;;) {
        const ssize_t n = ::read(alive, &byte, 1);
        if (n == 0 || (n < 0 && errno != EINTR)) break;
    }
    const bool silenced = writeZero(duty) && writeZero(enable);
    writeZero(unexport);
    if (!silenced) {
        const ssize_t written = ::write(STDERR_FILENO, failure.data(), failure.size());
        static_cast<void>(written);
    }
    ::_exit(silenced ? 0 : 1);
}

}  // namespace

PwmWatcher::PwmWatcher(const std::filesystem::path& channel, const std::filesystem::path& unexportFile) {
    // Everything the child needs is made before the fork.
    const std::string duty = (channel / "duty_cycle").string();
    const std::string enable = (channel / "enable").string();
    const std::string unexport = unexportFile.string();
    const std::string failure = "gpio: " + enable +
                                ": cannot disable the PWM after the program ended, the tone plays on; "
                                "write 0 to it by hand\n";
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw Error("PWM watcher", "cannot make its pipe", errno, "free file descriptors or memory");
    }
    UniqueFd readEnd(ends[0]);
    alive_ = UniqueFd(ends[1]);
    if (!readEnd || !alive_) {
        throw Error("PWM watcher", "cannot make its pipe", errno, "free file descriptors or memory");
    }
    pid_ = ::fork();
    if (pid_ < 0) {
        throw Error("PWM watcher", "cannot start the process that stops the tone when the program ends",
                    errno, "raise the process limit or free memory, or set GPIO_TONE=thread");
    }
    if (pid_ == 0) watch(readEnd.get(), duty.c_str(), enable.c_str(), unexport.c_str(), failure);
}

PwmWatcher::~PwmWatcher() {
    alive_ = UniqueFd();
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace gpio
