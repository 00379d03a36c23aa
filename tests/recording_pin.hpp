#pragma once

#include <mutex>
#include <vector>

#include "clock.hpp"
#include "pin.hpp"

// A pin that keeps every level it is given, with the time.
class RecordingPin : public gpio::Pin {
public:
    struct Change {
        gpio::Clock::time_point at;
        gpio::Level level;
    };

    class Log {
    public:
        void add(gpio::Level level) {
            std::lock_guard<std::mutex> lock(mutex_);
            changes_.push_back({gpio::Clock::now(), level});
        }
        std::vector<Change> changes() const {
            std::lock_guard<std::mutex> lock(mutex_);
            return changes_;
        }

    private:
        mutable std::mutex mutex_;
        std::vector<Change> changes_;
    };

    explicit RecordingPin(Log& log) : log_(log) {}
    void set(gpio::Level level) override { log_.add(level); }

private:
    Log& log_;
};
