#pragma once

#include <string>

#include "trace.hpp"
#include "trace_file.hpp"

namespace gpio {

// Value Change Dump (IEEE 1364), 1 us timescale, one wire per header pin,
// time 0 at the trace's creation. Each edge is written whole with one
// write, so the file is valid up to the last edge whenever the process dies.
// Fed from one thread (TraceWriter).
class VcdTrace : public Trace {
public:
    // Throws Error when the file cannot be made.
    explicit VcdTrace(const std::string& path);

    void edge(int pin, Level level, Clock::time_point when) override;

private:
    TraceFile file_;
    Clock::time_point origin_;
    long long lastUs_ = 0;
};

}  // namespace gpio
