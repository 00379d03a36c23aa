#include "pwm_tone.hpp"

#include "error.hpp"

namespace gpio {

PwmTone::PwmTone(const std::filesystem::path& chip) : channel_(chip) {}

void PwmTone::changeTo(int hz) {
    // The channel writes nothing for the frequency it already plays.
    try {
        channel_.play(hz);
    } catch (const Error& e) {
        if (!reported_) report(e);
        reported_ = true;
    }
}

}  // namespace gpio
