#pragma once

#include <filesystem>
#include <vector>

#include "pwm_steps.hpp"

namespace gpio {

// Channel 0 of a kernel PWM chip, through its sysfs files
// (/sys/class/pwm/pwmchipN/pwm0/{period,duty_cycle,enable}).
class PwmChannel {
public:
    // Exports the channel if need be, makes sure it is silent and that it
    // accepts the shortest period a tone may ask for. Throws Error naming
    // the file, the cause and what to do.
    explicit PwmChannel(std::filesystem::path chip);
    // Silences and disables the channel, then unexports it if this exported
    // it: unexported while enabled, a PWM plays on.
    ~PwmChannel();

    PwmChannel(const PwmChannel&) = delete;
    PwmChannel& operator=(const PwmChannel&) = delete;

    // Throws Error when the kernel refuses a write.
    void play(int hz);

    const std::filesystem::path& dir() const { return dir_; }
    // The chip's unexport file if this exported the channel, else empty.
    std::filesystem::path unexportFile() const;

private:
    void apply(const std::vector<PwmWrite>& writes);

    std::filesystem::path chip_;
    std::filesystem::path dir_;
    bool exported_ = false;
    PwmState state_;
};

}  // namespace gpio
