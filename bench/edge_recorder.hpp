#pragma once

#include <mutex>
#include <pthread.h>
#include <vector>

#include "clock.hpp"
#include "trace.hpp"

// A trace kept in memory. It runs on the tone's own thread, so it also
// learns that thread, whose CPU clock the benchmark then reads.
class EdgeRecorder : public gpio::Trace {
public:
    struct Edge {
        gpio::Clock::time_point at;
        gpio::Level level;
    };

    void edge(int /*pin*/, gpio::Level level, gpio::Clock::time_point when) override {
        std::lock_guard<std::mutex> lock(mutex_);
        thread_ = pthread_self();  // the latest: the first edge may come from the constructor's
        known_ = true;
        edges_.push_back({when, level});
    }

    // The CPU time so far of the thread that makes the edges.
    double threadCpuSeconds() {
        std::lock_guard<std::mutex> lock(mutex_);
        clockid_t clock{};
        timespec cpu{};
        if (!known_ || pthread_getcpuclockid(thread_, &clock) != 0 || clock_gettime(clock, &cpu) != 0)
            return 0.0;
        return static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) * 1e-9;
    }

    std::vector<Edge> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Edge> taken;
        taken.swap(edges_);
        taken.reserve(100000);
        edges_.reserve(100000);
        return taken;
    }

private:
    std::mutex mutex_;
    std::vector<Edge> edges_;
    pthread_t thread_{};
    bool known_ = false;
};
