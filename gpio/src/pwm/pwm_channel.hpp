#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "pwm_lock.hpp"
#include "pwm_steps.hpp"
#include "pwm_watcher.hpp"

namespace gpio {

// Channel 0 of a kernel PWM chip, through its sysfs files
// (/sys/class/pwm/pwmchipN/pwm0/{period,duty_cycle,enable}), held by this
// program alone and silenced by its watcher however the program ends.
class PwmChannel {
public:
    // Locks the chip, refuses a channel that already plays for someone
    // else, exports the channel if need be, makes sure it is silent and that
    // it accepts the shortest period a tone may ask for. Throws Error naming
    // the file, the cause and what to do; a refused channel is not touched.
    explicit PwmChannel(std::filesystem::path chip);
    // Silences and disables the channel, then unexports it if this exported
    // it: unexported while enabled, a PWM plays on.
    ~PwmChannel();

    PwmChannel(const PwmChannel&) = delete;
    PwmChannel& operator=(const PwmChannel&) = delete;

    // Starts another watcher, with one line, if the last one was killed.
    // Throws Error when the kernel refuses a write, when something else has
    // disabled the channel since the last note, or when no watcher can be
    // had (the channel is then silenced).
    void play(int hz);

private:
    void apply(const std::vector<PwmWrite>& writes);

    std::filesystem::path chip_;
    std::filesystem::path dir_;
    PwmLock lock_;
    std::optional<PwmWatcher> watcher_;
    bool unexportAtEnd_ = false;
    PwmState state_;
};

}  // namespace gpio
