#pragma once

#include <filesystem>

#include "pwm_channel.hpp"
#include "tone.hpp"

namespace gpio {

// A tone timed by the kernel: a PWM chip that drives the pin's line (the
// pwm-gpio driver's hrtimer, or the Pi 5's RP1 PIO), so no thread of this
// process wakes for an edge. Silenced whenever the process ends.
class PwmTone : public Tone {
public:
    // Channel 0 of the chip, silent. Throws Error when it or its watcher
    // cannot be had.
    explicit PwmTone(const std::filesystem::path& chip);

private:
    // A write the kernel refuses is reported once; the tone keeps the last
    // setting that it took.
    void changeTo(int hz) override;

    PwmChannel channel_;
    bool reported_ = false;
};

}  // namespace gpio
