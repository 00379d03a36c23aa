#include "pwm_rows.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "error.hpp"
#include "process_usage.hpp"
#include "pwm_tone.hpp"
#include "scale_notes.hpp"
#include "sim_backend.hpp"
#include "tone_generator.hpp"

namespace {

// Plays each note for `seconds` and prints what the whole process spent.
void row(const char* timing, gpio::Tone& tone, double seconds) {
    for (int hz : kScaleHz) {
        const auto asked = std::chrono::steady_clock::now();
        tone.setFrequency(hz);
        const double callUs =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - asked).count();
        const ProcessUsage before = processUsage();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const ProcessUsage after = processUsage();
        std::printf("%-9s %5d %6.2f %11.0f %9.1f\n", timing, hz,
                    100.0 * (after.cpuSeconds - before.cpuSeconds) / seconds,
                    static_cast<double>(after.switches - before.switches) / seconds, callUs);
    }
    tone.setFrequency(0);
}

std::string firstChip() {
    std::vector<std::string> chips;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/pwm", ec))
        chips.push_back(entry.path().string());
    std::sort(chips.begin(), chips.end());
    return chips.empty() ? "" : chips.front();
}

}  // namespace

void printPwmRows(const std::string& chip, double seconds) {
    std::printf("\nkernel PWM beside the thread: cpu%% and switches/s of the whole process, "
                "call: time in softToneWrite, in us\n");
    std::printf("%-9s %5s %6s %11s %9s\n", "timing", "hz", "cpu%", "switches/s", "call us");
    const std::string path = chip.empty() ? firstChip() : chip;
    if (path.empty()) {
        std::printf("%-9s (no kernel PWM on this machine: /sys/class/pwm has no chip; on a Pi, "
                    "dtoverlay=pwm-gpio,gpio=22)\n", "pwm");
        return;
    }
    try {
        gpio::ToneGenerator thread(std::make_unique<gpio::SimPin>());
        row("thread", thread, seconds);
        gpio::PwmTone pwm(path);
        row("pwm", pwm, seconds);
    } catch (const gpio::Error& e) {
        std::printf("%-9s (%s)\n", "pwm", e.what());
    }
}
