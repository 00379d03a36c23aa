#pragma once

#include <string>

// The tone through a kernel PWM beside the thread-timed tone, in the same
// run: CPU of the whole process and its context switches per second of tone,
// and how long a change of frequency takes. chip: a /sys/class/pwm/pwmchipN,
// or empty for the first there is. On a machine without one, one row says so.
void printPwmRows(const std::string& chip, double seconds);
