#include "chip_backend.hpp"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "error.hpp"
#include "pin_map.hpp"

namespace gpio {

ChipBackend::ChipBackend(const std::vector<std::string>& paths, bool chosenChip)
    : chosenChip_(chosenChip) {
    for (const std::string& path : paths) chips_.emplace_back(path);
}

std::unique_ptr<Pin> ChipBackend::openOutput(int pin) {
    const int broadcom = *broadcomGpio(pin);
    const std::string name = "GPIO" + std::to_string(broadcom);
    const std::string consumer = program_invocation_short_name;
    for (const GpioChip& chip : chips_) {
        if (const auto offset = chip.findLine(name))
            return std::make_unique<LineRequest>(chip.requestOutput(*offset, name, consumer));
    }
    if (chosenChip_ && !chips_.front().namesLines()) {
        // A chip without line names: its offsets are taken as Broadcom numbers.
        return std::make_unique<LineRequest>(
            chips_.front().requestOutput(static_cast<unsigned>(broadcom), name, consumer));
    }
    std::string searched;
    for (const GpioChip& chip : chips_) searched += (searched.empty() ? "" : ", ") + chip.path();
    const std::string remedy =
        chosenChip_ ? "unset GPIO_CHIP to search every chip"
                    : "set GPIO_CHIP=/dev/gpiochipN to use line " + std::to_string(broadcom) +
                          " of a chip whose lines have no names";
    throw Error("pin " + std::to_string(pin), "no line named " + name + " on " + searched, 0, remedy);
}

std::vector<std::string> findGpioChips(const std::filesystem::path& dir) {
    const std::string prefix = "gpiochip";
    // Numbers compared as digit strings: no name, however long, overflows.
    std::vector<std::pair<std::string, std::string>> found;  // number, path
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string file = entry.path().filename().string();
        if (file.size() <= prefix.size() || file.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = file.substr(prefix.size());
        const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
        if (!std::all_of(digits.begin(), digits.end(), isDigit)) continue;
        found.emplace_back(digits, entry.path().string());
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first.size() != b.first.size() ? a.first.size() < b.first.size() : a.first < b.first;
    });
    std::vector<std::string> paths;
    for (auto& chip : found) paths.push_back(std::move(chip.second));
    return paths;
}

}  // namespace gpio
