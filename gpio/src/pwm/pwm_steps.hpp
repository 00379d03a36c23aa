#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace gpio {

// A sysfs PWM channel's settings, in nanoseconds.
struct PwmState {
    std::int64_t periodNs = 0;
    std::int64_t dutyNs = 0;
    bool enabled = false;
};

enum class PwmAttribute { Period, DutyCycle, Enable };

struct PwmWrite {
    PwmAttribute attribute;
    std::int64_t value;
};

// The period of hz, rounded to the nearest nanosecond.
std::int64_t periodNsOf(int hz);

// The writes that give the channel a 50% square wave of periodNs, in an
// order the kernel accepts at every step: it refuses a duty cycle longer
// than the period, so a shorter period takes its duty cycle first.
std::vector<PwmWrite> squareWaveSteps(const PwmState& now, std::int64_t periodNs);

// The writes that make the channel sound hz, or fall silent with the line
// low for 0: a duty cycle of 0, the channel left enabled, so that a silent
// note waits for nothing (see stopSteps). None when it already does.
std::vector<PwmWrite> toneSteps(const PwmState& now, int hz);

// The writes that stop the channel at the end: a duty cycle of 0 first (some
// PWMs freeze the line where it was when disabled), then disabled, which
// must wait settleTime after the duty cycle's write.
std::vector<PwmWrite> stopSteps(const PwmState& now);

// How long a channel must stay enabled once its duty cycle is 0 before it
// may be disabled: one period, at most a second (a 1 Hz tone's). Some PWMs
// (the Pi 5's pwm-pio) take a new duty cycle only when a period ends and
// leave the line where it was when disabled mid-period.
std::chrono::nanoseconds settleTime(std::int64_t periodNs);

// The state after the writes.
PwmState applied(PwmState state, const std::vector<PwmWrite>& writes);

}  // namespace gpio
