#include "trace_writer.hpp"

#include <utility>

#include "error.hpp"
#include "layer_thread.hpp"

namespace gpio {

TraceWriter::TraceWriter(std::string path, std::unique_ptr<Trace> encoder)
    : path_(std::move(path)), encoder_(std::move(encoder)), thread_(startLayerThread([this] { run(); })) {}

TraceWriter::~TraceWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    waiting_.notify_one();
    thread_.join();
}

void TraceWriter::edge(int pin, Level level, Clock::time_point when) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (overflowed_) return;
        if (queue_.size() >= kMaxBacklog) {
            overflowed_ = true;
            report(Error(path_, "the trace cannot keep up, recording stops here", 0,
                         "trace to a faster disk, or keep the FIFO's reader reading"));
            return;
        }
        queue_.push_back({pin, level, when});
        ++handedIn_;
    }
    waiting_.notify_one();
}

bool TraceWriter::drain(Clock::duration limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return written_.wait_for(lock, limit, [this] { return writtenOut_ == handedIn_; });
}

void TraceWriter::run() {
    std::vector<Record> batch;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        waiting_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and all is written
        batch.swap(queue_);
        lock.unlock();
        for (const Record& r : batch) encoder_->edge(r.pin, r.level, r.when);
        lock.lock();
        writtenOut_ += batch.size();
        batch.clear();
        written_.notify_all();
    }
}

}  // namespace gpio
