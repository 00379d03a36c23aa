#pragma once

#include "clock.hpp"
#include "level.hpp"

namespace gpio {

// A record of pin edges.
class Trace {
public:
    virtual ~Trace() = default;
    virtual void edge(int pin, Level level, Clock::time_point when) = 0;
};

}  // namespace gpio
