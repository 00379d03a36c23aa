#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "pin.hpp"

// The simple way to make a soft tone, for comparison: toggle the pin, then
// sleep a relative half-period. Every sleep's overshoot adds to the period,
// so the tone plays flat. Same thread priority and timer slack as ours.
class ReferenceTone {
public:
    explicit ReferenceTone(std::unique_ptr<gpio::Pin> pin);
    ~ReferenceTone();

    void setFrequency(int hz) { hz_.store(hz); }

private:
    void run();

    std::unique_ptr<gpio::Pin> pin_;
    std::atomic<int> hz_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
