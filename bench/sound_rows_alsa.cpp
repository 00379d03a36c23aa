#include "sound_rows.hpp"

#include <cmath>
#include <chrono>
#include <cstdio>
#include <thread>

#include "alsa_sound.hpp"
#include "edge_stats.hpp"
#include "error.hpp"

void printSoundRows(const std::string& device, double seconds) {
    const int scale[] = {262, 294, 330, 349, 392, 440, 494, 525};
    std::printf("\nsound, ALSA device \"%s\": the wave made from the frequency, timed by the card's clock\n",
                device.c_str());
    try {
        gpio::AlsaSound sound(device);
        const int notes = std::max(9, static_cast<int>(seconds * 8));
        for (int n = 0; n < notes; ++n) {
            sound.setFrequency(scale[n % 8]);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        sound.setFrequency(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const gpio::AlsaSound::Stats stats = sound.stats();
        std::vector<double> spread;
        for (double ms : stats.noteMs) spread.push_back(std::abs(ms - 500.0));
        std::printf("%-9s %6s %10s %10s %10s %12s %9s\n", "", "notes", "react p50", "react max", "length p50",
                    "length max+-", "underruns");
        const double worst = percentile(stats.latencyMs, 1.0);
        std::printf("%-9s %6zu %8.1f ms %7.1f ms %7.1f ms %9.1f ms %9d\n", "sound", stats.noteMs.size(),
                    percentile(stats.latencyMs, 0.5), worst, percentile(stats.noteMs, 0.5), percentile(spread, 1.0),
                    stats.underruns);
        const bool met = !stats.latencyMs.empty() && worst <= 50.0;
        std::printf("  %-44s %-6s %.1f ms\n", "new note heard within 50 ms", met ? "met" : "MISSED", worst);
        std::printf("  %-44s %-6s %d\n", "no underrun", stats.underruns == 0 ? "met" : "MISSED", stats.underruns);
    } catch (const gpio::Error& e) {
        std::printf("  no sound: %s\n", e.what());
    }
}
