#include "tone_generator.hpp"

#include "clock.hpp"
#include "edge_schedule.hpp"
#include "layer_thread.hpp"
#include "realtime.hpp"

namespace gpio {

ToneGenerator::ToneGenerator(std::unique_ptr<Pin> pin) : pin_(std::move(pin)) {
    pin_->set(Level::Low);
    thread_ = startLayerThread([this] { run(); });
}

ToneGenerator::~ToneGenerator() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void ToneGenerator::changeTo(int hz) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // The same note again must not restart the wave with a glitch.
        if (hz == hz_) return;
        hz_ = hz;
        ++request_;
    }
    wake_.notify_one();
}

void ToneGenerator::run() {
    tuneThreadForTiming();
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        const std::uint64_t request = request_;
        if (hz_ == 0) {
            drive(lock, Level::Low);
            wake_.wait(lock, [&] { return changed(request); });
        } else {
            play(lock, hz_, request);
        }
    }
    drive(lock, Level::Low);
}

// Plays hz until the request changes. The new wave starts with an edge now.
void ToneGenerator::play(std::unique_lock<std::mutex>& lock, int hz, std::uint64_t request) {
    EdgeSchedule schedule(Clock::now(), hz);
    drive(lock, opposite(level_));
    while (!changed(request)) {
        const Clock::time_point due = schedule.next();
        if (wake_.wait_until(lock, due, [&] { return changed(request); })) return;
        drive(lock, opposite(level_));
        schedule.advance(Clock::now());
    }
}

// The pin may be slow (an ioctl), so the writer is not kept waiting on it.
void ToneGenerator::drive(std::unique_lock<std::mutex>& lock, Level level) {
    if (level == level_) return;
    level_ = level;
    lock.unlock();
    pin_->set(level);
    lock.lock();
}

}  // namespace gpio
