#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <sys/types.h>

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
// A child of fork() inherits a copy whose threads, watcher and locks are its
// parent's: it touches none of them, and says so once if it tries.
class Layer {
public:
    static Layer& instance();

    // Throws Error when set-up cannot succeed; a second call does nothing.
    void setup();
    // Throws Error for a bad pin, no set-up, no thread, after shutdown, or in a child.
    void createTone(int pin);
    // Ignored for a pin without a tone, after shutdown, and in a child (said once).
    void writeTone(int pin, int hz);
    // Stops every tone with its pin low and completes the trace; runs at exit.
    void shutdown();

private:
    Layer() = default;

    // Whether this process is a child of the one that set the layer up.
    bool inherited() const;
    void refuseInherited(int pin);

    // Read before the mutex: a child must not wait for a lock its parent's
    // threads held at the fork.
    std::atomic<pid_t> owner_{0};
    std::atomic<bool> toldInherited_{false};
    std::mutex mutex_;
    bool shutDown_ = false;
    std::unique_ptr<Backend> backend_;
    std::shared_ptr<TraceWriter> trace_;
    ToneTiming timing_ = ToneTiming::Automatic;
    std::map<int, std::unique_ptr<Tone>> tones_;
};

}  // namespace gpio
