#include "open_tone.hpp"

#include <cerrno>
#include <string>
#include <system_error>

#include "environment.hpp"
#include "error.hpp"
#include "find_pwm_chip.hpp"
#include "line_busy.hpp"
#include "pwm_tone.hpp"
#include "tone_generator.hpp"
#include "traced_pin.hpp"

namespace gpio {

ToneTiming toneTiming() {
    const std::string name = environment("GPIO_TONE");
    if (name.empty() || name == "auto") return ToneTiming::Automatic;
    if (name == "thread") return ToneTiming::Thread;
    throw Error("GPIO_TONE=" + name, "unknown tone timing", 0, "use auto or thread, or unset it");
}

std::unique_ptr<Tone> openTone(Backend& backend, int pin, const std::shared_ptr<Trace>& trace,
                               ToneTiming timing) {
    const std::string subject = "pin " + std::to_string(pin);
    std::unique_ptr<Pin> output;
    try {
        output = backend.openOutput(pin);
    } catch (const LineBusy& busy) {
        const auto chip = findPwmChip(busy.holder());
        if (!chip) throw;
        if (timing == ToneTiming::Thread) {
            throw Error(subject, "the line is held by the kernel PWM " + chip->string(), EBUSY,
                        "unset GPIO_TONE to play the tone through it, or remove its overlay");
        }
        if (trace) {
            report(Error(subject, "the kernel PWM " + chip->string() + " times this tone", 0,
                         "the trace records none of its edges; set GPIO_TONE=thread to record them"));
        }
        return std::make_unique<PwmTone>(*chip);
    }
    if (trace) output = std::make_unique<TracedPin>(std::move(output), pin, trace);
    try {
        return backend.heard(std::make_unique<ToneGenerator>(std::move(output)));
    } catch (const std::system_error& e) {
        throw Error(subject, "cannot start the tone thread", e.code().value(),
                    "free memory or raise the process's thread limit");
    }
}

}  // namespace gpio
