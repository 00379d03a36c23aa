#pragma once

#include "level.hpp"

namespace gpio {

// One output line, whatever drives it. Only the tone generator that owns it
// sets it, so implementations need not be thread-safe.
class Pin {
public:
    virtual ~Pin() = default;
    virtual void set(Level level) = 0;
};

}  // namespace gpio
