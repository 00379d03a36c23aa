// The public set-up and sleep calls, with C linkage.
#include <wiringPi.h>

#include <chrono>
#include <cstdlib>
#include <exception>

#include "error.hpp"
#include "layer.hpp"
#include "sleep.hpp"

extern "C" int wiringPiSetup(void) {
    try {
        gpio::Layer::instance().setup();
    } catch (const gpio::Error& e) {
        // A program that cannot reach its pins must not play on in silence.
        gpio::report(e);
        std::exit(EXIT_FAILURE);
    } catch (const std::exception& e) {
        gpio::report(gpio::Error("GPIO set-up", "failed", 0, e.what()));
        std::exit(EXIT_FAILURE);
    }
    return 0;
}

extern "C" void delay(unsigned int ms) { gpio::sleepFor(std::chrono::milliseconds(ms)); }
