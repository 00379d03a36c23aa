#include "find_pwm_chip.hpp"

namespace gpio {

std::optional<std::filesystem::path> findPwmChip(const std::string& device,
                                                 const std::filesystem::path& pwmClass) {
    std::error_code ec;
    for (const auto& chip : std::filesystem::directory_iterator(pwmClass, ec)) {
        if (chip.path().filename().string().rfind("pwmchip", 0) != 0) continue;
        const auto target = std::filesystem::read_symlink(chip.path() / "device", ec);
        if (!ec && target.filename() == device) return chip.path();
    }
    return std::nullopt;
}

}  // namespace gpio
