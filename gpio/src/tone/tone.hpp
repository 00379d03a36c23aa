#pragma once

#include <algorithm>

namespace gpio {

// A square-wave tone on one pin, however it is timed.
class Tone {
public:
    static constexpr int kMaxHz = 5000;

    virtual ~Tone() = default;
    // Takes effect at once. 0 or below is silence with the pin low; above
    // the highest frequency (SOFT_TONE_MAX_FREQ) is the highest.
    void setFrequency(int hz) { changeTo(std::clamp(hz, 0, kMaxHz)); }

private:
    // hz within 0..kMaxHz. The same frequency again must change nothing.
    virtual void changeTo(int hz) = 0;
};

}  // namespace gpio
