#include "sound_rows.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "alsa_sound.hpp"
#include "edge_stats.hpp"
#include "error.hpp"

namespace {

using Clock = gpio::AlsaSound::Clock;

// What the sound thread says of each note, kept for the rows.
class NoteLog : public gpio::AlsaSound::Observer {
public:
    void noteBegan(std::int64_t frame, Clock::time_point heard) override {
        std::lock_guard<std::mutex> lock(mutex_);
        frames_.push_back(frame);
        heard_.push_back(heard);
    }
    void ranDry() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++dry_;
    }

    // From each softToneWrite (asked) to its note's first sample leaving the device.
    std::vector<double> latencyMs(const std::vector<Clock::time_point>& asked) const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<double> ms;
        for (std::size_t i = 0; i < asked.size() && i < heard_.size(); ++i)
            ms.push_back(std::chrono::duration<double, std::milli>(heard_[i] - asked[i]).count());
        return ms;
    }
    // Each note's length as the card's clock counts it.
    std::vector<double> noteMs() const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<double> ms;
        for (std::size_t i = 1; i < frames_.size(); ++i)
            ms.push_back(static_cast<double>(frames_[i] - frames_[i - 1]) * 1000.0 / gpio::SquareWave::kRate);
        return ms;
    }
    int dry() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return dry_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::int64_t> frames_;
    std::vector<Clock::time_point> heard_;
    int dry_ = 0;
};

}  // namespace

void printSoundRows(const std::string& device, double seconds) {
    const int scale[] = {262, 294, 330, 349, 392, 440, 494, 525};
    std::printf("\nsound, ALSA device \"%s\": the wave made from the frequency, timed by the card's clock\n",
                device.c_str());
    try {
        NoteLog log;
        std::vector<Clock::time_point> asked;
        {
            gpio::AlsaSound sound(device, &log);
            const int notes = std::max(9, static_cast<int>(seconds * 8));
            for (int n = 0; n < notes; ++n) {
                asked.push_back(Clock::now());
                sound.setFrequency(scale[n % 8]);
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            }
            sound.setFrequency(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const std::vector<double> latency = log.latencyMs(asked);
        const std::vector<double> lengths = log.noteMs();
        std::vector<double> spread;
        for (double ms : lengths) spread.push_back(std::abs(ms - 500.0));
        std::printf("%-9s %6s %10s %10s %10s %12s %9s\n", "", "notes", "react p50", "react max", "length p50",
                    "length max+-", "underruns");
        const double worst = percentile(latency, 1.0);
        std::printf("%-9s %6zu %8.1f ms %7.1f ms %7.1f ms %9.1f ms %9d\n", "sound", lengths.size(),
                    percentile(latency, 0.5), worst, percentile(lengths, 0.5), percentile(spread, 1.0), log.dry());
        const bool met = !latency.empty() && worst <= 50.0;
        std::printf("  %-44s %-6s %.1f ms\n", "new note heard within 50 ms", met ? "met" : "MISSED", worst);
        std::printf("  %-44s %-6s %d\n", "no underrun", log.dry() == 0 ? "met" : "MISSED", log.dry());
    } catch (const gpio::Error& e) {
        std::printf("  no sound: %s\n", e.what());
    }
}
