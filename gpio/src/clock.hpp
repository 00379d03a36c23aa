#pragma once

#include <chrono>

namespace gpio {

// CLOCK_MONOTONIC on Linux: never jumps with wall-clock changes.
using Clock = std::chrono::steady_clock;

}  // namespace gpio
