#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "trace.hpp"
#include "trace_file.hpp"

namespace gpio {

// The pins as sound: 16-bit mono PCM at 48 kHz, written as the edges come.
// The levels pass through a first-order DC blocker, as a speaker's coupling
// capacitor would, so a tone is a square wave of moderate amplitude and a
// pin held at one level fades to silence. The header's sizes are rewritten
// after every edge, so the file plays whenever the process dies. Fed from one
// thread (TraceWriter).
class WavTrace : public Trace {
public:
    static constexpr int kSampleRate = 48000;

    // Throws Error when the file cannot be made.
    explicit WavTrace(const std::string& path);

    void edge(int pin, Level level, Clock::time_point when) override;

    // The sample an edge this long after the start falls on, rounded; exact
    // at any length of run.
    static std::int64_t sampleAt(std::chrono::nanoseconds sinceStart);

private:
    void render(std::int64_t untilSample);
    void updateHeader();

    TraceFile file_;
    Clock::time_point origin_;
    std::array<bool, 32> high_{};
    int highCount_ = 0;
    std::int64_t samples_ = 0;
    double lastInput_ = 0.0;
    double lastOutput_ = 0.0;
};

}  // namespace gpio
