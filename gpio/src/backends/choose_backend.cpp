#include <string>

#include "backend.hpp"
#include "chip_backend.hpp"
#include "environment.hpp"
#include "error.hpp"
#include "sim_backend.hpp"
#include "sound_backend.hpp"

namespace gpio {
namespace {

enum class Asked { Automatic, Chip, Sim, Sound };

Asked backendChoice() {
    const std::string name = environment("GPIO_BACKEND");
    if (name.empty()) return Asked::Automatic;
    if (name == "chip") return Asked::Chip;
    if (name == "sim") return Asked::Sim;
    if (name == "sound") return Asked::Sound;
    throw Error("GPIO_BACKEND=" + name, "unknown backend", 0, "use chip, sim or sound, or unset it");
}

std::string recording(const std::string& tracePath) {
    return tracePath.empty() ? "set GPIO_TRACE=FILE.vcd or FILE.wav to record them"
                             : "recording them in " + tracePath;
}

ChosenBackend simulated(const std::string& why, const std::string& tracePath) {
    return {std::make_unique<SimBackend>(), "pins are simulated, nothing is driven (" + why + "); " +
                                                recording(tracePath) + ", or GPIO_BACKEND=sound to hear the tone"};
}

ChosenBackend sound(const std::string& tracePath) {
    std::string device = environment("GPIO_SOUND");
    if (device.empty()) device = "default";
    return {openSoundBackend(device), "pins are simulated, the tone is heard on sound device \"" + device +
                                          "\"; " + recording(tracePath)};
}

ChosenBackend chips(const std::string& chosen) {
    if (!chosen.empty()) return {std::make_unique<ChipBackend>(std::vector<std::string>{chosen}, true), ""};
    const std::vector<std::string> found = findGpioChips();
    if (found.empty()) {
        throw Error("/dev/gpiochip*", "no GPIO chip found", 0,
                    "load the board's GPIO driver, or set GPIO_BACKEND=sim to simulate the pins");
    }
    return {std::make_unique<ChipBackend>(found, false), ""};
}

}  // namespace

ChosenBackend chooseBackend(const std::string& tracePath) {
    const std::string chosenChip = environment("GPIO_CHIP");
    const Asked asked = backendChoice();
    const std::string chosenSound = environment("GPIO_SOUND");
    if (!chosenSound.empty() && asked != Asked::Sound) {
        throw Error("GPIO_SOUND=" + chosenSound, "a sound device is named but GPIO_BACKEND is not sound", 0,
                    "set GPIO_BACKEND=sound to hear the tone, or unset GPIO_SOUND");
    }
    switch (asked) {
    case Asked::Sound:
        if (!chosenChip.empty()) {
            throw Error("GPIO_CHIP=" + chosenChip, "a chip is named but GPIO_BACKEND=sound", 0,
                        "unset one of them");
        }
        return sound(tracePath);
    case Asked::Chip:
        return chips(chosenChip);
    case Asked::Sim:
        if (!chosenChip.empty()) {
            throw Error("GPIO_CHIP=" + chosenChip, "a chip is named but GPIO_BACKEND=sim", 0,
                        "unset one of them");
        }
        return simulated("GPIO_BACKEND=sim", tracePath);
    case Asked::Automatic:
        break;
    }
    // Nothing asked for: real pins wherever the kernel offers any.
    if (!chosenChip.empty() || !findGpioChips().empty()) return chips(chosenChip);
    return simulated("no /dev/gpiochip* on this machine", tracePath);
}

}  // namespace gpio
