#pragma once

#include <csignal>
#include <pthread.h>
#include <thread>
#include <utility>

namespace gpio {

// Starts a thread of the layer with every signal blocked, then gives the
// caller back its own mask: a signal the program blocks, or reads from a
// signalfd, must never be taken by a thread it did not start.
template <class Function>
std::thread startLayerThread(Function&& function) {
    sigset_t all;
    sigset_t callers;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &callers);
    struct Restore {
        const sigset_t& mask;
        ~Restore() { pthread_sigmask(SIG_SETMASK, &mask, nullptr); }
    } restore{callers};
    return std::thread(std::forward<Function>(function));
}

}  // namespace gpio
