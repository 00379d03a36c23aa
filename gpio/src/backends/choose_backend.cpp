#include <cstdlib>
#include <string>

#include "backend.hpp"
#include "chip_backend.hpp"
#include "error.hpp"
#include "sim_backend.hpp"

namespace gpio {
namespace {

enum class BackendChoice { Automatic, Chip, Sim };

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

BackendChoice backendChoice() {
    const std::string name = environment("GPIO_BACKEND");
    if (name.empty()) return BackendChoice::Automatic;
    if (name == "chip") return BackendChoice::Chip;
    if (name == "sim") return BackendChoice::Sim;
    throw Error("GPIO_BACKEND=" + name, "unknown backend", 0, "use chip or sim, or unset it");
}

std::unique_ptr<Backend> simulated(const std::string& why) {
    report("pins are simulated, nothing is driven (" + why +
           "); set GPIO_TRACE=FILE.vcd or FILE.wav to record them");
    return std::make_unique<SimBackend>();
}

std::unique_ptr<Backend> chips(const std::string& chosen) {
    if (!chosen.empty()) return std::make_unique<ChipBackend>(std::vector<std::string>{chosen}, true);
    const std::vector<std::string> found = findGpioChips();
    if (found.empty()) {
        throw Error("/dev/gpiochip*", "no GPIO chip found", 0,
                    "load the board's GPIO driver, or set GPIO_BACKEND=sim to simulate the pins");
    }
    return std::make_unique<ChipBackend>(found, false);
}

}  // namespace

std::unique_ptr<Backend> chooseBackend() {
    const std::string chosenChip = environment("GPIO_CHIP");
    switch (backendChoice()) {
    case BackendChoice::Chip:
        return chips(chosenChip);
    case BackendChoice::Sim:
        if (!chosenChip.empty()) {
            throw Error("GPIO_CHIP=" + chosenChip, "a chip is named but GPIO_BACKEND=sim", 0,
                        "unset one of them");
        }
        return simulated("GPIO_BACKEND=sim");
    case BackendChoice::Automatic:
        break;
    }
    // Nothing asked for: real pins wherever the kernel offers any.
    if (!chosenChip.empty() || !findGpioChips().empty()) return chips(chosenChip);
    return simulated("no /dev/gpiochip* on this machine");
}

}  // namespace gpio
