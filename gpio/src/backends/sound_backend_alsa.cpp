#include <memory>

#include "alsa_sound.hpp"
#include "heard_tone.hpp"
#include "sim_backend.hpp"
#include "sound_backend.hpp"

namespace gpio {
namespace {

// One voice: the device plays the first tone started; the program has one.
class SoundBackend : public SimBackend {
public:
    explicit SoundBackend(const std::string& device) : sound_(std::make_shared<AlsaSound>(device)) {}

    std::unique_ptr<Tone> heard(std::unique_ptr<Tone> tone) override {
        if (voiced_) return tone;
        voiced_ = true;
        return std::make_unique<HeardTone>(std::move(tone), sound_);
    }

private:
    std::shared_ptr<AlsaSound> sound_;
    bool voiced_ = false;
};

}  // namespace

std::unique_ptr<Backend> openSoundBackend(const std::string& device) {
    return std::make_unique<SoundBackend>(device);
}

}  // namespace gpio
