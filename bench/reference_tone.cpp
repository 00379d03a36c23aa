#include "reference_tone.hpp"

#include <ctime>

#include "realtime.hpp"

ReferenceTone::ReferenceTone(std::unique_ptr<gpio::Pin> pin)
    : pin_(std::move(pin)), thread_([this] { run(); }) {}

ReferenceTone::~ReferenceTone() {
    stop_ = true;
    thread_.join();
}

void ReferenceTone::run() {
    gpio::tuneThreadForTiming();
    while (!stop_) {
        const int hz = hz_.load();
        if (hz <= 0) {
            const timespec ms{0, 1'000'000};
            nanosleep(&ms, nullptr);
            continue;
        }
        const timespec half{0, 500'000'000L / hz};
        pin_->set(gpio::Level::High);
        nanosleep(&half, nullptr);
        pin_->set(gpio::Level::Low);
        nanosleep(&half, nullptr);
    }
}
