#pragma once

#include <chrono>

namespace gpio {

// Sleeps at least `duration` on the monotonic clock; signals do not cut it short.
void sleepFor(std::chrono::nanoseconds duration);

}  // namespace gpio
