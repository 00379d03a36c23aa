#pragma once

#include <memory>

#include "alsa_sound.hpp"
#include "tone.hpp"

namespace gpio {

// A tone on a simulated pin that is also heard: every frequency goes to the
// pin's own tone (traced like any other) and to the sound device.
class HeardTone : public Tone {
public:
    HeardTone(std::unique_ptr<Tone> pin, std::shared_ptr<AlsaSound> sound);
    ~HeardTone() override;

private:
    void changeTo(int hz) override;

    std::unique_ptr<Tone> pin_;
    std::shared_ptr<AlsaSound> sound_;
};

}  // namespace gpio
