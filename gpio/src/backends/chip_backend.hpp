#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "backend.hpp"
#include "gpio_chip.hpp"

namespace gpio {

// Real pins through the kernel's GPIO chips. A pin's line is found by its
// Broadcom name, GPIO<n>, on any chip, as Raspberry Pi kernels name the
// header's lines on every model. A single chip named by GPIO_CHIP whose lines
// have no names at all is taken to number its lines by Broadcom GPIO.
class ChipBackend : public Backend {
public:
    // Opens every chip on the list. Throws Error when one fails.
    ChipBackend(const std::vector<std::string>& paths, bool chosenChip);

    std::unique_ptr<Pin> openOutput(int pin) override;

private:
    std::vector<GpioChip> chips_;
    bool chosenChip_;
};

// /dev/gpiochip0, /dev/gpiochip1, ... as they exist, in number order.
std::vector<std::string> findGpioChips(const std::filesystem::path& dir = "/dev");

}  // namespace gpio
