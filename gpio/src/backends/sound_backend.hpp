#pragma once

#include <memory>
#include <string>

#include "backend.hpp"

namespace gpio {

// Simulated pins, with the first tone also heard on an ALSA device
// (GPIO_BACKEND=sound, GPIO_SOUND=NAME). Throws Error when the device cannot
// be opened, or when this build has no sound.
std::unique_ptr<Backend> openSoundBackend(const std::string& device);

}  // namespace gpio
