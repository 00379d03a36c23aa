#pragma once

#include <memory>

#include "pin.hpp"

namespace gpio {

// What drives the pins: the kernel's GPIO chips or a simulation.
class Backend {
public:
    virtual ~Backend() = default;
    // The pin (wiringPi numbering, already checked against the header map)
    // as an output driven low. Throws Error when it cannot be had.
    virtual std::unique_ptr<Pin> openOutput(int pin) = 0;
};

// The backend the environment asks for (GPIO_BACKEND, GPIO_CHIP), opened.
// Throws Error when it cannot be set up.
std::unique_ptr<Backend> chooseBackend();

}  // namespace gpio
