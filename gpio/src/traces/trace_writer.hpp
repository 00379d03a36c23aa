#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "trace.hpp"

namespace gpio {

// Hands edges to a trace's encoder on a thread of its own, so that no edge
// on a pin waits for a slow disk, a FIFO's reader or the rendering of a long
// silence. Edges are written in the order they came.
class TraceWriter : public Trace {
public:
    // Edges waiting beyond this mean the file cannot keep up: the recording
    // ends with a line rather than the memory growing without bound.
    static constexpr std::size_t kMaxBacklog = 1 << 16;

    TraceWriter(std::string path, std::unique_ptr<Trace> encoder);
    // Writes every edge handed in so far, then stops the thread.
    ~TraceWriter() override;

    // Waits until every edge handed in so far is written, or the limit has
    // passed (a FIFO whose reader stalls); says which.
    bool drain(Clock::duration limit);

    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;

    void edge(int pin, Level level, Clock::time_point when) override;

    const std::string& path() const { return path_; }

private:
    struct Record {
        int pin;
        Level level;
        Clock::time_point when;
    };

    void run();

    std::string path_;
    std::unique_ptr<Trace> encoder_;

    std::mutex mutex_;
    std::condition_variable waiting_;
    std::condition_variable written_;
    std::vector<Record> queue_;
    std::uint64_t handedIn_ = 0;
    std::uint64_t writtenOut_ = 0;
    bool overflowed_ = false;
    bool stop_ = false;

    std::thread thread_;  // last: starts once all above is ready
};

}  // namespace gpio
