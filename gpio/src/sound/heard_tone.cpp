#include "heard_tone.hpp"

namespace gpio {

HeardTone::HeardTone(std::unique_ptr<Tone> pin, std::shared_ptr<AlsaSound> sound)
    : pin_(std::move(pin)), sound_(std::move(sound)) {}

HeardTone::~HeardTone() { sound_->setFrequency(0); }

void HeardTone::changeTo(int hz) {
    pin_->setFrequency(hz);
    sound_->setFrequency(hz);
}

}  // namespace gpio
