#pragma once

#include <alsa/asoundlib.h>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "square_wave.hpp"

namespace gpio {

// One tone on an ALSA playback device, timed by the sound card's clock: a
// thread renders the square wave block by block from the frequency last
// asked for and hands each block to the device. ALSA's "default" device
// reaches the desktop's sound server (PipeWire or PulseAudio) through its
// plugins. The queue starts short, so that a new note is heard soon, and
// grows when the device runs dry; a device or server that goes away is
// reopened about once a second. setFrequency never waits on any of it.
class AlsaSound {
public:
    using Clock = std::chrono::steady_clock;

    // What a benchmark is told, on the sound thread.
    class Observer {
    public:
        virtual ~Observer() = default;
        // The first sample of a new frequency, hz, leaves the device at
        // heard; frame counts the samples handed to the device before it.
        virtual void noteBegan(int hz, std::int64_t frame, Clock::time_point heard) = 0;
        virtual void ranDry() = 0;
    };

    static constexpr std::chrono::milliseconds kFirstQueue{20};
    static constexpr std::chrono::milliseconds kLongestQueue{160};

    // Opens the device, silent. Throws Error naming it, the cause and what
    // to do. The observer, if any, must outlive this.
    explicit AlsaSound(const std::string& device, Observer* observer = nullptr);
    ~AlsaSound();

    AlsaSound(const AlsaSound&) = delete;
    AlsaSound& operator=(const AlsaSound&) = delete;

    void setFrequency(int hz);

private:
    struct Closer {
        void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
    };
    using Pcm = std::unique_ptr<snd_pcm_t, Closer>;

    // Returns the negative ALSA error of the first step that fails, or 0.
    int open();
    int configure();
    void run();
    // False when the device is gone: written as far as it went.
    bool write(const std::int16_t* samples, std::size_t count);
    void reopen();
    // After a write of count samples: keeps the thread within a queue of the
    // sample clock where the device holds nothing of what it takes.
    void keepPace(std::size_t count);

    const std::string device_;
    const std::string subject_;  // how messages name the device
    Observer* const observer_;
    Pcm pcm_;
    std::chrono::milliseconds queue_ = kFirstQueue;
    snd_pcm_uframes_t buffer_ = 0;
    snd_pcm_uframes_t block_ = 0;
    std::int64_t frame_ = 0;  // samples handed to the device so far
    bool toldDry_ = false;
    bool silent_ = false;      // "stopped" said, "back" not yet
    std::int64_t backAt_ = 0;  // frame_ past which a reopened device plays
    Clock::time_point queuedUntil_;  // when all handed to the device has played, by the sample clock

    std::atomic<int> hz_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;  // last: starts once all above is ready
};

}  // namespace gpio
