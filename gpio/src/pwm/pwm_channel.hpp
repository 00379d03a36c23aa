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
    // beforeReady goes to every watcher (a test's hook).
    explicit PwmChannel(std::filesystem::path chip, PwmWatcher::BeforeReady beforeReady = nullptr);
    // Silences the channel, waits out its period and disables it. With no
    // watcher left it also unexports it if this exported it, and says what
    // failed; else that is the watcher's to do and say.
    ~PwmChannel();

    PwmChannel(const PwmChannel&) = delete;
    PwmChannel& operator=(const PwmChannel&) = delete;

    // hz, or silence for 0, at once: silence is a duty cycle of 0, the
    // channel left enabled. Starts another watcher, with one line, if the
    // last one was killed, silencing the channel first. Throws Error when the
    // kernel refuses a write, when something else has disabled the channel
    // since the last note, or when no watcher can be had (silent then).
    void play(int hz);

private:
    void apply(const std::vector<PwmWrite>& writes);

    void startWatcher();

    std::filesystem::path chip_;
    std::filesystem::path dir_;
    PwmWatcher::BeforeReady beforeReady_;
    PwmLock lock_;
    std::optional<PwmWatcher> watcher_;
    bool unexportAtEnd_ = false;
    PwmState state_;
};

}  // namespace gpio
