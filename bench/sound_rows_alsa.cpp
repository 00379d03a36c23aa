#include "sound_rows.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "alsa_sound.hpp"
#include "edge_stats.hpp"
#include "error.hpp"

namespace {

using Clock = gpio::AlsaSound::Clock;

// What the sound thread says of each note, kept for the rows.
class NoteLog : public gpio::AlsaSound::Observer {
public:
    void noteBegan(int hz, std::int64_t frame, Clock::time_point heard) override {
        std::lock_guard<std::mutex> lock(mutex_);
        notes_.push_back({hz, frame, heard});
    }
    void ranDry() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++dry_;
    }

    // From each softToneWrite of hz at a time to that note's first sample
    // leaving the device. A note the sound thread never saw (it was held up
    // longer than a note) has none.
    std::vector<double> latencyMs(const std::vector<std::pair<int, Clock::time_point>>& asked) const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<double> ms;
        std::size_t next = 0;
        for (const auto& [hz, at] : asked) {
            std::size_t i = next;
            while (i < notes_.size() && (notes_[i].hz != hz || notes_[i].heard < at)) ++i;
            // The scale comes round again: a match a second on is a later note's.
            if (i == notes_.size() || notes_[i].heard - at > std::chrono::seconds(1)) continue;
            ms.push_back(std::chrono::duration<double, std::milli>(notes_[i].heard - at).count());
            next = i + 1;
        }
        return ms;
    }
    // Each note's length as the card's clock counts it.
    std::vector<double> noteMs() const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<double> ms;
        for (std::size_t i = 1; i < notes_.size(); ++i)
            ms.push_back(static_cast<double>(notes_[i].frame - notes_[i - 1].frame) * 1000.0 / gpio::SquareWave::kRate);
        return ms;
    }
    int dry() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return dry_;
    }

private:
    struct Note {
        int hz;
        std::int64_t frame;
        Clock::time_point heard;
    };
    mutable std::mutex mutex_;
    std::vector<Note> notes_;
    int dry_ = 0;
};

}  // namespace

void printSoundRows(const std::string& device, double seconds) {
    const int scale[] = {262, 294, 330, 349, 392, 440, 494, 525};
    std::printf("\nsound, ALSA device \"%s\": the wave made from the frequency, timed by the card's clock\n",
                device.c_str());
    try {
        NoteLog log;
        std::vector<std::pair<int, Clock::time_point>> asked;
        {
            gpio::AlsaSound sound(device, &log);
            // A sound server starts the stream up to a second after it is
            // opened; the rows are about the notes that follow.
            std::this_thread::sleep_for(std::chrono::seconds(1));
            const int notes = std::max(9, static_cast<int>(seconds * 8));
            for (int n = 0; n < notes; ++n) {
                asked.emplace_back(scale[n % 8], Clock::now());
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
