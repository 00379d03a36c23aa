#pragma once

#include <alsa/asoundlib.h>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "square_wave.hpp"

namespace gpio {

// One tone on an ALSA playback device, timed by the sound card's clock: a
// thread renders the square wave block by block from the frequency last
// asked for and hands each block to the device. ALSA's "default" device
// reaches the desktop's sound server (PipeWire or PulseAudio) through its
// plugins.
class AlsaSound {
public:
    using Clock = std::chrono::steady_clock;

    // What the benchmark reads.
    struct Stats {
        std::vector<double> latencyMs;  // softToneWrite to the new note's first sample leaving the device
        std::vector<double> noteMs;     // each note's length in samples, as milliseconds
        int underruns = 0;
    };

    // Opens the device, silent. Throws Error naming it, the cause and what
    // to do.
    explicit AlsaSound(const std::string& device);
    ~AlsaSound();

    AlsaSound(const AlsaSound&) = delete;
    AlsaSound& operator=(const AlsaSound&) = delete;

    void setFrequency(int hz);
    Stats stats() const;

private:
    struct Closer {
        void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
    };

    void run();
    void noteBegins(const Clock::time_point& asked, std::int64_t frame);

    std::string subject_;  // how messages name the device
    std::unique_ptr<snd_pcm_t, Closer> pcm_;
    snd_pcm_uframes_t block_ = 0;

    mutable std::mutex mutex_;
    int hz_ = 0;
    Clock::time_point askedAt_{};
    std::uint64_t request_ = 0;
    Stats stats_;
    std::int64_t noteStart_ = -1;

    std::atomic<bool> stop_{false};
    std::thread thread_;  // last: starts once all above is ready
};

}  // namespace gpio
