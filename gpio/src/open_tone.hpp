#pragma once

#include <memory>

#include "backend.hpp"
#include "tone.hpp"
#include "trace.hpp"

namespace gpio {

enum class ToneTiming {
    Automatic,  // a kernel PWM that holds the pin's line, else a thread
    Thread,     // a thread of this process, always
};

// What GPIO_TONE asks for. Throws Error for an unknown value.
ToneTiming toneTiming();

// A silent tone on the pin (already checked against the header map). When a
// kernel PWM holds the pin's line, it plays through that PWM unless timing
// says otherwise. Throws Error when neither can be had.
std::unique_ptr<Tone> openTone(Backend& backend, int pin, const std::shared_ptr<Trace>& trace,
                               ToneTiming timing);

}  // namespace gpio
