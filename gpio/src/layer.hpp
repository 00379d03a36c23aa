#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "backend.hpp"
#include "tone_generator.hpp"
#include "trace.hpp"

namespace gpio {

// Everything the public calls share: the backend, the trace and the tones.
// The calls are plain functions, so this one object lives for the process.
class Layer {
public:
    static Layer& instance();

    // Throws Error when set-up cannot succeed; a second call does nothing.
    void setup();
    // Throws Error for a bad pin, no set-up, or no thread.
    void createTone(int pin);
    void writeTone(int pin, int hz);

private:
    Layer() = default;

    std::mutex mutex_;
    std::unique_ptr<Backend> backend_;
    std::shared_ptr<Trace> trace_;
    std::map<int, std::unique_ptr<ToneGenerator>> tones_;  // last: stopped first
};

}  // namespace gpio
