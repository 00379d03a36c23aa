#include "layer.hpp"

#include <cstdlib>
#include <string>
#include <system_error>

#include "error.hpp"
#include "pin_map.hpp"
#include "traced_pin.hpp"

namespace gpio {

Layer& Layer::instance() {
    static Layer layer;
    return layer;
}

void Layer::setup() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (backend_) return;
    std::shared_ptr<Trace> trace;
    if (const char* path = std::getenv("GPIO_TRACE"); path && *path) trace = openTrace(path);
    backend_ = chooseBackend();
    trace_ = std::move(trace);
}

void Layer::createTone(int pin) {
    const std::string subject = "pin " + std::to_string(pin);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!broadcomGpio(pin)) {
        throw Error(subject, "no such pin", 0,
                    "use 0-16 or 21-31, the wiringPi numbers of the 40-pin header");
    }
    if (!backend_) throw Error(subject, "GPIO is not set up", 0, "call wiringPiSetup first");
    if (tones_.count(pin) != 0) return;

    std::unique_ptr<Pin> output = backend_->openOutput(pin);
    if (trace_) output = std::make_unique<TracedPin>(std::move(output), pin, trace_);
    try {
        tones_.emplace(pin, std::make_unique<ToneGenerator>(std::move(output)));
    } catch (const std::system_error& e) {
        throw Error(subject, "cannot start the tone thread", e.code().value(),
                    "free memory or raise the process's thread limit");
    }
}

void Layer::writeTone(int pin, int hz) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto tone = tones_.find(pin);
    if (tone != tones_.end()) tone->second->setFrequency(hz);
}

}  // namespace gpio
