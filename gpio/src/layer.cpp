#include "layer.hpp"

#include <chrono>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "environment.hpp"
#include "error.hpp"
#include "open_tone.hpp"
#include "open_trace.hpp"
#include "pin_map.hpp"

namespace gpio {
namespace {

// Long enough for any disk; a FIFO whose reader has stalled does not hold
// the process's exit for ever.
constexpr std::chrono::seconds kTraceDrainLimit{3};

}  // namespace

Layer& Layer::instance() {
    // A union does not destroy its member: the layer outlives every caller.
    union Forever {
        Forever() : layer() {}
        ~Forever() {}
        Layer layer;
    };
    static Forever forever;
    return forever.layer;
}

void Layer::setup() {
    if (inherited()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (backend_ || shutDown_) return;
    const std::string tracePath = environment("GPIO_TRACE");
    // The trace file is checked first and touched last, so that a set-up
    // that fails leaves an existing file as it was.
    const TraceFormat format = tracePath.empty() ? TraceFormat::Vcd : traceFormat(tracePath);
    const ToneTiming timing = toneTiming();
    ChosenBackend chosen = chooseBackend(tracePath);
    if (!tracePath.empty()) trace_ = openTrace(tracePath, format);
    backend_ = std::move(chosen.backend);
    timing_ = timing;
    owner_ = ::getpid();
    if (!chosen.notice.empty()) report(chosen.notice);
    std::atexit([] { instance().shutdown(); });
}

bool Layer::inherited() const {
    const pid_t owner = owner_;
    return owner != 0 && owner != ::getpid();
}

void Layer::refuseInherited(int pin) {
    if (toldInherited_.exchange(true)) return;
    report(Error("pin " + std::to_string(pin),
                 "the tone belongs to process " + std::to_string(owner_) + ", which set GPIO up; this child of it "
                     "leaves it alone",
                 0, "set GPIO up after the fork, in the process that plays"));
}

void Layer::createTone(int pin) {
    const std::string subject = "pin " + std::to_string(pin);
    if (inherited()) {
        throw Error(subject, "GPIO was set up by process " + std::to_string(owner_) + ", not by this child of it",
                    0, "set GPIO up after the fork, in the process that plays");
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!broadcomGpio(pin)) {
        throw Error(subject, "no such pin", 0,
                    "use 0-16 or 21-31, the wiringPi numbers of the 40-pin header");
    }
    if (shutDown_) throw Error(subject, "the GPIO layer has shut down", 0, "the process is exiting");
    if (!backend_) throw Error(subject, "GPIO is not set up", 0, "call wiringPiSetup first");
    if (tones_.count(pin) != 0) return;

    tones_.emplace(pin, openTone(*backend_, pin, trace_, timing_));
}

void Layer::writeTone(int pin, int hz) {
    if (inherited()) return refuseInherited(pin);
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutDown_) return;
    const auto tone = tones_.find(pin);
    if (tone != tones_.end()) tone->second->setFrequency(hz);
}

void Layer::shutdown() {
    if (inherited()) return;  // the parent's tones, trace and threads: left as they are
    std::map<int, std::unique_ptr<Tone>> tones;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shutDown_) return;
        shutDown_ = true;
        tones.swap(tones_);
    }
    tones.clear();  // each pin driven low, its thread joined
    if (trace_ && !trace_->drain(kTraceDrainLimit)) {
        report(Error(trace_->path(), "the trace's last edges could not be written before exit", 0,
                     "keep the trace's reader reading"));
    }
}

}  // namespace gpio
