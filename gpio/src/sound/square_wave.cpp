#include "square_wave.hpp"

#include <algorithm>
#include <cmath>

namespace gpio {
namespace {

// The correction that rounds off a step at phase 0 over one sample either
// side of it (the polynomial band-limited step).
double blep(double phase, double step) {
    if (phase < step) {
        const double t = phase / step;
        return t + t - t * t - 1.0;
    }
    if (phase > 1.0 - step) {
        const double t = (phase - 1.0) / step;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

}  // namespace

// Below half the sample rate, so that the phase wraps at most once a sample.
void SquareWave::setFrequency(int hz) {
    step_ = hz > 0 ? static_cast<double>(std::min(hz, kRate / 2 - 1)) / kRate : 0.0;
}

void SquareWave::render(std::int16_t* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (step_ == 0.0) {
            samples[i] = 0;
            continue;
        }
        double value = phase_ < 0.5 ? 1.0 : -1.0;
        value += blep(phase_, step_);
        value -= blep(std::fmod(phase_ + 0.5, 1.0), step_);
        samples[i] = static_cast<std::int16_t>(std::lround(value * kAmplitude * 32767.0));
        phase_ += step_;
        if (phase_ >= 1.0) phase_ -= 1.0;
    }
}

}  // namespace gpio
