#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "backend.hpp"
#include "open_tone.hpp"
#include "tone.hpp"
#include "trace_writer.hpp"

namespace gpio {

// Everything the public calls share: the backend, the trace, the tones and
// how they are timed.
// The calls are plain functions, so this one object lives for the process:
// it is never destroyed, so that calls made while the process exits (from
// atexit handlers, or threads still running) find it whole.
class Layer {
public:
    static Layer& instance();

    // Throws Error when set-up cannot succeed; a second call does nothing.
    void setup();
    // Throws Error for a bad pin, no set-up, no thread, or after shutdown.
    void createTone(int pin);
    // Ignored for a pin without a tone, and after shutdown.
    void writeTone(int pin, int hz);
    // Stops every tone with its pin low and completes the trace; runs at exit.
    void shutdown();

private:
    Layer() = default;

    std::mutex mutex_;
    bool shutDown_ = false;
    std::unique_ptr<Backend> backend_;
    std::shared_ptr<TraceWriter> trace_;
    ToneTiming timing_ = ToneTiming::Automatic;
    std::map<int, std::unique_ptr<Tone>> tones_;
};

}  // namespace gpio
