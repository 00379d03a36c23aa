#include "error.hpp"
#include "sound_backend.hpp"

namespace gpio {

std::unique_ptr<Backend> openSoundBackend(const std::string& /*device*/) {
    throw Error("GPIO_BACKEND=sound", "this build has no sound", 0,
                "install libasound2-dev and build again (cmake finds ALSA through pkg-config; "
                "-DSCALE_SOUND=ON for a cross or static build), or use GPIO_BACKEND=sim");
}

}  // namespace gpio
