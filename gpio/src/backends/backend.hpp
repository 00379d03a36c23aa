#pragma once

#include <memory>
#include <string>

#include "pin.hpp"
#include "tone.hpp"

namespace gpio {

// What drives the pins: the kernel's GPIO chips or a simulation.
class Backend {
public:
    virtual ~Backend() = default;
    // The pin (wiringPi numbering, already checked against the header map)
    // as an output driven low. Throws Error when it cannot be had.
    virtual std::unique_ptr<Pin> openOutput(int pin) = 0;
    // The pin's tone as this backend lets it be heard: as it is, for all but
    // the sound backend.
    virtual std::unique_ptr<Tone> heard(std::unique_ptr<Tone> tone) { return tone; }
};

struct ChosenBackend {
    std::unique_ptr<Backend> backend;
    std::string notice;  // to say once set-up has succeeded, or empty
};

// The backend the environment asks for (GPIO_BACKEND, GPIO_CHIP, GPIO_SOUND), opened;
// tracePath is GPIO_TRACE, empty when unset. Throws Error when it cannot be
// set up.
ChosenBackend chooseBackend(const std::string& tracePath);

}  // namespace gpio
