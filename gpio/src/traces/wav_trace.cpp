#include "wav_trace.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>

namespace gpio {
namespace {

constexpr double kStep = 16384.0;      // one high pin; about -12 dBFS after the blocker
constexpr double kBlockerPole = 0.9995;  // ~40 ms time constant, ~4 Hz corner
// RIFF sizes are 32-bit; stop well before they would wrap (about 12 hours).
constexpr std::int64_t kMaxDataBytes = 0xFFFF0000LL;

void putLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::string header(std::uint32_t dataBytes) {
    std::string h;
    h += "RIFF";
    putLe(h, 36 + dataBytes, 4);
    h += "WAVEfmt ";
    putLe(h, 16, 4);                          // fmt chunk size
    putLe(h, 1, 2);                           // PCM
    putLe(h, 1, 2);                           // mono
    putLe(h, WavTrace::kSampleRate, 4);
    putLe(h, WavTrace::kSampleRate * 2, 4);   // bytes per second
    putLe(h, 2, 2);                           // bytes per frame
    putLe(h, 16, 2);                          // bits per sample
    h += "data";
    putLe(h, dataBytes, 4);
    return h;
}

}  // namespace

WavTrace::WavTrace(const std::string& path)
    : file_(path, TraceFile::Access::Overwrite), origin_(Clock::now()) {
    file_.append(header(0));
}

void WavTrace::edge(int pin, Level level, Clock::time_point when) {
    if (pin < 0 || pin >= static_cast<int>(high_.size())) return;
    if (!file_.open()) return;
    render(sampleAt(when - origin_));
    const bool high = level == Level::High;
    if (high_[static_cast<std::size_t>(pin)] != high) {
        high_[static_cast<std::size_t>(pin)] = high;
        highCount_ += high ? 1 : -1;
    }
    updateHeader();
}

std::int64_t WavTrace::sampleAt(std::chrono::nanoseconds sinceStart) {
    // Whole seconds apart: nanoseconds times the rate would pass 2^63 after 53 hours.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceStart);
    const std::int64_t rest = (sinceStart - seconds).count();
    return seconds.count() * kSampleRate + (rest * kSampleRate + 500'000'000) / 1'000'000'000;
}

// Writes the samples before `untilSample` at the levels held until now.
void WavTrace::render(std::int64_t untilSample) {
    untilSample = std::min(untilSample, kMaxDataBytes / 2);
    const double input = highCount_ * kStep;
    std::string chunk;
    while (samples_ < untilSample) {
        chunk.clear();
        const std::int64_t n = std::min<std::int64_t>(untilSample - samples_, 4096);
        for (std::int64_t i = 0; i < n; ++i) {
            lastOutput_ = input - lastInput_ + kBlockerPole * lastOutput_;
            lastInput_ = input;
            const long value = std::lround(std::clamp(lastOutput_, -32768.0, 32767.0));
            putLe(chunk, static_cast<std::uint32_t>(value) & 0xFFFFu, 2);
        }
        file_.append(chunk);
        samples_ += n;
    }
    if (samples_ * 2 >= kMaxDataBytes) {
        updateHeader();
        file_.close("the WAV file is full (4 GiB, about 12 hours of sound)");
    }
}

void WavTrace::updateHeader() {
    file_.overwrite(0, header(static_cast<std::uint32_t>(samples_ * 2)));
}

}  // namespace gpio
