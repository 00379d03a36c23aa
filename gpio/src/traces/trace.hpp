#pragma once

#include <memory>
#include <string>

#include "clock.hpp"
#include "level.hpp"

namespace gpio {

// A record of pin edges, shared by every traced pin of the process.
class Trace {
public:
    virtual ~Trace() = default;
    // Safe to call from several threads at once.
    virtual void edge(int pin, Level level, Clock::time_point when) = 0;
};

// The trace that GPIO_TRACE names, chosen by the file's ending (.vcd or .wav).
// Throws Error when the file cannot be made.
std::shared_ptr<Trace> openTrace(const std::string& path);

}  // namespace gpio
