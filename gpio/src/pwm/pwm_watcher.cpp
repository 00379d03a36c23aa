#include "pwm_watcher.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "error.hpp"
#include "pwm_steps.hpp"
#include "sleep.hpp"

namespace gpio {
namespace {

constexpr char kUnexport = 'U';
constexpr char kKeepExported = 'K';
constexpr char kReady = 'R';
constexpr char kEnd = 'E';

// Between fork and _exit only async-signal-safe calls (sleepFor's
// clock_gettime and clock_nanosleep are): the program may have other
// threads, whose locks the child inherits held.
bool writeZero(const char* file) {
    const int fd = ::open(file, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;  // already gone: nothing plays
    const bool done = ::write(fd, "0\n", 2) == 2 || errno == EINVAL;  // EINVAL: not exported
    ::close(fd);
    return done;
}

// The period the channel played, in ns; 0 when it cannot be read.
std::int64_t readPeriod(const char* file) {
    const int fd = ::open(file, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    std::int64_t ns = 0;
    for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9' && ns < INT64_MAX / 10 - 9; ++i)
        ns = ns * 10 + (text[i] - '0');
    return ns;
}

void say(const std::string& line) {
    const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    static_cast<void>(written);
}

// Closes every descriptor above standard error but the two kept.
void closeAllBut(int a, int b) {
    ::close(STDIN_FILENO);
    ::close(STDOUT_FILENO);
    const unsigned low = static_cast<unsigned>(std::min(a, b));
    const unsigned high = static_cast<unsigned>(std::max(a, b));
    const auto closeRange = [](unsigned from, unsigned to) { return from > to || ::close_range(from, to, 0) == 0; };
    const bool closed = closeRange(STDERR_FILENO + 1, low - 1) && closeRange(low + 1, high - 1) &&
                        closeRange(high + 1, ~0U);
    if (!closed) {
        for (int fd = STDERR_FILENO + 1; fd < 4096; ++fd)
            if (fd != a && fd != b) ::close(fd);
    }
}

struct Files {
    std::string period, duty, enable, unexport;
    std::string dutyFailure, enableFailure;
};

// The program's end: its word, its socket closed, or the program gone. A
// child it forked shares the socket, so its closing alone proves nothing.
void waitForTheEnd(int alive, pid_t program, bool& unexport) {
    const int programFd = static_cast<int>(::syscall(SYS_pidfd_open, program, 0));
    // Still the parent once the pidfd is open: the pidfd names the program.
    if (::getppid() != program) return;
    pollfd watched[2] = {{alive, POLLIN, 0}, {programFd, POLLIN, 0}};
    const nfds_t count = programFd >= 0 ? 2 : 1;
    for (;;) {
        if (::poll(watched, count, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        // What the program said before it went is read first.
        if (watched[0].revents != 0) {
            char byte = 0;
            const ssize_t n = ::read(alive, &byte, 1);
            if (n == 0 || (n < 0 && errno != EINTR) || byte == kEnd) return;
            if (n == 1) unexport = byte == kUnexport;
            continue;
        }
        if (count == 2 && watched[1].revents != 0) return;
    }
}

[[noreturn]] void watch(int alive, int keep, pid_t program, const Files& files, bool unexport,
                        PwmWatcher::BeforeReady beforeReady) {
    ::setsid();
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    for (int signal : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGTSTP, SIGPIPE}) ::sigaction(signal, &ignore, nullptr);
    ::prctl(PR_SET_NAME, "gpio-pwm-watch", 0, 0, 0);
    closeAllBut(alive, keep);
    if (beforeReady != nullptr) beforeReady();
    // Out of the program's process group now: the program may touch the
    // channel. A program already gone may have touched it (this may be a
    // replacement, started while the channel plays): the work is done anyway.
    if (::send(alive, &kReady, 1, MSG_NOSIGNAL) == 1) waitForTheEnd(alive, program, unexport);
    // Silence first, every write tried; unexported while enabled, a PWM plays on.
    const bool quiet = writeZero(files.duty.c_str());
    sleepFor(settleTime(readPeriod(files.period.c_str())));
    const bool disabled = writeZero(files.enable.c_str());
    if (disabled && unexport) writeZero(files.unexport.c_str());
    if (!disabled) say(files.enableFailure);
    else if (!quiet) say(files.dutyFailure);
    ::_exit(disabled ? 0 : 1);
}

std::string failure(const std::string& file, const char* what) {
    return "gpio: " + file + ": cannot " + what + " after the program ended, the tone may play on; write 0 to " +
           file + " by hand\n";
}

}  // namespace

PwmWatcher::PwmWatcher(const std::filesystem::path& channel, const std::filesystem::path& unexportFile,
                       int keep, bool unexport, BeforeReady beforeReady) {
    // Everything the child needs is made before the fork.
    Files files;
    files.period = (channel / "period").string();
    files.duty = (channel / "duty_cycle").string();
    files.enable = (channel / "enable").string();
    files.unexport = unexportFile.string();
    files.dutyFailure = failure(files.duty, "silence the PWM");
    files.enableFailure = failure(files.enable, "disable the PWM");
    // A socket, not a pipe: telling a watcher that has gone must not raise SIGPIPE.
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        throw Error("PWM watcher", "cannot make its socket", errno, "free file descriptors or memory");
    }
    UniqueFd readEnd(ends[0]);
    alive_ = UniqueFd(ends[1]);
    if (!readEnd || !alive_) {
        throw Error("PWM watcher", "cannot make its socket", errno, "free file descriptors or memory");
    }
    const pid_t program = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        throw Error("PWM watcher", "cannot start the process that stops the tone when the program ends",
                    errno, "raise the process limit or free memory, or set GPIO_TONE=thread");
    }
    if (pid == 0) watch(readEnd.get(), keep, program, files, unexport, beforeReady);
    readEnd = UniqueFd();  // the watcher's alone, so that its death reads as the end
    // The system call itself: glibc 2.36's wrapper is not declared for C++.
    pidfd_ = UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (!pidfd_) {
        // Told by the socket's end, it does its work and exits; it is not
        // waited for, since only a pidfd names it for certain.
        throw Error("PWM watcher", "cannot watch its process (pidfd_open)", errno,
                    "use Linux 5.3 or later, or set GPIO_TONE=thread");
    }
    // A signal to the program's group before the watcher left it ends both.
    char word = 0;
    ssize_t n = 0;
    while ((n = ::read(alive_.get(), &word, 1)) < 0 && errno == EINTR) {
    }
    if (n != 1 || word != kReady) {
        reap(true);
        throw Error("PWM watcher", "ended before it was ready", 0,
                    "find what kills new processes here (limits, a service manager), or set GPIO_TONE=thread");
    }
}

PwmWatcher::~PwmWatcher() {
    // Said, not only closed: a child of the program may hold the socket open.
    const ssize_t said = ::send(alive_.get(), &kEnd, 1, MSG_NOSIGNAL);
    static_cast<void>(said);
    alive_ = UniqueFd();
    reap(true);
}

void PwmWatcher::reap(bool wait) {
    if (!pidfd_) return;
    pollfd exited{pidfd_.get(), POLLIN, 0};
    // Readable once it has exited, whoever reaps it.
    while (::poll(&exited, 1, wait ? -1 : 0) < 0 && errno == EINTR) {
    }
    if ((exited.revents & POLLIN) == 0) return;
    siginfo_t info{};
    // ECHILD: the program reaped it already, or ignores SIGCHLD.
    ::waitid(P_PIDFD, static_cast<id_t>(pidfd_.get()), &info, WEXITED | WNOHANG);
    pidfd_ = UniqueFd();
}

bool PwmWatcher::ended() {
    reap(false);
    return !pidfd_;
}

void PwmWatcher::unexportAtEnd(bool unexport) {
    const char byte = unexport ? kUnexport : kKeepExported;
    // A watcher that is gone cannot be told; it has already done its work.
    const ssize_t written = ::send(alive_.get(), &byte, 1, MSG_NOSIGNAL);
    static_cast<void>(written);
}

}  // namespace gpio
