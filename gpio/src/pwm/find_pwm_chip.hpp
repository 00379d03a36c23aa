#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace gpio {

// The PWM chip of the device the kernel names so: a line held by a PWM has
// that device's name as its consumer (pwm_gpio22 for a node of that name,
// 16.pwm_gpio for the overlay's pwm_gpio@16), and each chip's device link in
// sysfs leads to its device. Chip numbers are not stable; names are.
std::optional<std::filesystem::path> findPwmChip(const std::string& device,
                                                 const std::filesystem::path& pwmClass = "/sys/class/pwm");

}  // namespace gpio
