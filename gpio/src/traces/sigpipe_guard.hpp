#pragma once

#include <csignal>
#include <ctime>
#include <pthread.h>

namespace gpio {

// While it lives, a write by this thread to a pipe whose reader has gone fails
// with EPIPE instead of killing the process: SIGPIPE is held back in this
// thread alone and the one such a write raised is taken, so the program's own
// signal dispositions stay as they are.
class SigpipeGuard {
public:
    SigpipeGuard() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
    }
    ~SigpipeGuard() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

    // Call after a write failed with EPIPE.
    void takeRaisedSignal() {
        const timespec now{};
        sigtimedwait(&pipe_, nullptr, &now);
    }

private:
    sigset_t pipe_{};
    sigset_t previous_{};
};

}  // namespace gpio
