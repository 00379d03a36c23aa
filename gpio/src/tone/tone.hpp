#pragma once

namespace gpio {

// A square-wave tone on one pin, however it is timed.
class Tone {
public:
    static constexpr int kMaxHz = 5000;

    virtual ~Tone() = default;
    // Takes effect at once. 0 or below is silence with the pin low; above
    // the highest frequency (SOFT_TONE_MAX_FREQ) is the highest.
    virtual void setFrequency(int hz) = 0;
};

}  // namespace gpio
