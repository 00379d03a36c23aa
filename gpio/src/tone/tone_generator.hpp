#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "pin.hpp"
#include "tone.hpp"

namespace gpio {

// A square wave with 50% duty on one pin, made by a thread of its own that
// sleeps until each edge's deadline on the monotonic clock.
class ToneGenerator : public Tone {
public:
    // Drives the pin low and starts the thread, silent.
    // Throws std::system_error when no thread can be started.
    explicit ToneGenerator(std::unique_ptr<Pin> pin);
    ~ToneGenerator() override;

    ToneGenerator(const ToneGenerator&) = delete;
    ToneGenerator& operator=(const ToneGenerator&) = delete;

private:
    // The current half-period is cut short.
    void changeTo(int hz) override;
    void run();
    void play(std::unique_lock<std::mutex>& lock, int hz, std::uint64_t request);
    void drive(std::unique_lock<std::mutex>& lock, Level level);
    bool changed(std::uint64_t request) const { return stop_ || request_ != request; }

    std::unique_ptr<Pin> pin_;
    Level level_ = Level::Low;

    std::mutex mutex_;
    std::condition_variable wake_;
    int hz_ = 0;
    std::uint64_t request_ = 0;  // counts frequency changes
    bool stop_ = false;

    std::thread thread_;  // last: starts once all above is ready
};

}  // namespace gpio
