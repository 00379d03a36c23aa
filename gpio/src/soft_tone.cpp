// The public tone calls: C linkage, errors turned into one line and -1.
#include <softTone.h>

#include <exception>
#include <string>

#include "error.hpp"
#include "layer.hpp"
#include "tone.hpp"

static_assert(SOFT_TONE_MAX_FREQ == gpio::Tone::kMaxHz);

extern "C" int softToneCreate(int pin) {
    try {
        gpio::Layer::instance().createTone(pin);
        return 0;
    } catch (const gpio::Error& e) {
        gpio::report(e);
    } catch (const std::exception& e) {
        gpio::report(gpio::Error("pin " + std::to_string(pin), "cannot start a tone", 0, e.what()));
    }
    return -1;
}

extern "C" void softToneWrite(int pin, int freq) { gpio::Layer::instance().writeTone(pin, freq); }
