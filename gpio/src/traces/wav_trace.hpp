#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "trace.hpp"
#include "trace_file.hpp"

namespace gpio {

// The pins as sound: 16-bit mono PCM at 48 kHz, written as the edges come.
// The levels pass through a first-order DC blocker, as a speaker's coupling
// capacitor would, so a tone is a square wave of moderate amplitude and a
// pin held at one level fades to silence. The header's sizes are rewritten
// after every edge, so the file plays whenever the process dies.
class WavTrace : public Trace {
public:
    static constexpr int kSampleRate = 48000;

    // Throws Error when the file cannot be made.
    explicit WavTrace(const std::string& path);

    void edge(int pin, Level level, Clock::time_point when) override;

private:
    void render(std::int64_t untilSample);
    void updateHeader();

    std::mutex mutex_;
    TraceFile file_;
    Clock::time_point origin_;
    std::array<bool, 32> high_{};
    int highCount_ = 0;
    std::int64_t samples_ = 0;
    double lastInput_ = 0.0;
    double lastOutput_ = 0.0;
};

}  // namespace gpio
