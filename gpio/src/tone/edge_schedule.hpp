#pragma once

#include <chrono>
#include <cstdint>

#include "clock.hpp"

namespace gpio {

// When the edges of a square wave fall. Each deadline is computed from the
// origin, never from the previous edge, so late wake-ups do not add up and
// the mean frequency is exactly the one asked for.
class EdgeSchedule {
public:
    EdgeSchedule(Clock::time_point origin, int hz) : origin_(origin), hz_(hz) {}

    // The deadline of the next edge.
    Clock::time_point next() const {
        // Rounded to the nearest nanosecond; edge_ < 2 * hz_ keeps it small.
        const std::int64_t ns = (edge_ * kNanosPerSecond + hz_) / (2 * hz_);
        return origin_ + std::chrono::nanoseconds(ns);
    }

    // Call after the edge due at next() was made at `now`.
    void advance(Clock::time_point now) {
        if (now - next() > period()) {
            // Hopelessly behind: start afresh rather than burst to catch up.
            origin_ = now;
            edge_ = 1;
            return;
        }
        // Re-base every second so the arithmetic stays exact and bounded.
        if (++edge_ == 2 * hz_) {
            origin_ += std::chrono::seconds(1);
            edge_ = 0;
        }
    }

    std::chrono::nanoseconds period() const {
        return std::chrono::nanoseconds(kNanosPerSecond / hz_);
    }

private:
    static constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

    Clock::time_point origin_;
    std::int64_t hz_;
    std::int64_t edge_ = 1;
};

}  // namespace gpio
