#include <string>

#include "backend.hpp"
#include "chip_backend.hpp"
#include "environment.hpp"
#include "error.hpp"
#include "sim_backend.hpp"

namespace gpio {
namespace {

enum class Asked { Automatic, Chip, Sim };

Asked backendChoice() {
    const std::string name = environment("GPIO_BACKEND");
    if (name.empty()) return Asked::Automatic;
    if (name == "chip") return Asked::Chip;
    if (name == "sim") return Asked::Sim;
    throw Error("GPIO_BACKEND=" + name, "unknown backend", 0, "use chip or sim, or unset it");
}

ChosenBackend simulated(const std::string& why, const std::string& tracePath) {
    const std::string record = tracePath.empty()
                                   ? "set GPIO_TRACE=FILE.vcd or FILE.wav to record them"
                                   : "recording them in " + tracePath;
    return {std::make_unique<SimBackend>(), "pins are simulated, nothing is driven (" + why + "); " + record};
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
    switch (backendChoice()) {
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
