#pragma once

#include <cstddef>
#include <cstdint>

namespace gpio {

// The tone as sound: a 50% square wave rendered sample by sample, its
// frequency changeable between any two samples without a click (the phase
// runs on), and band-limited at its two steps (polyBLEP) so that no
// aliased overtone sounds as a second, wrong pitch.
class SquareWave {
public:
    static constexpr int kRate = 48000;
    // About -12 dBFS, the level of the WAV trace.
    static constexpr double kAmplitude = 0.25;

    // From the next sample on; 0 or below is silence, half the rate or more
    // is taken as just below it.
    void setFrequency(int hz);
    void render(std::int16_t* samples, std::size_t count);

private:
    double phase_ = 0.0;  // 0..1 over one period
    double step_ = 0.0;   // phase per sample
};

}  // namespace gpio
