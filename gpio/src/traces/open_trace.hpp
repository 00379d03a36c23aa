#pragma once

#include <memory>
#include <string>

#include "trace_writer.hpp"

namespace gpio {

enum class TraceFormat { Vcd, Wav };

// The format a GPIO_TRACE path asks for by its ending (.vcd or .wav).
// Throws Error for any other, before any file is touched.
TraceFormat traceFormat(const std::string& path);

// The trace for every traced pin of the process, in its own thread.
// Throws Error when the file cannot be made.
std::shared_ptr<TraceWriter> openTrace(const std::string& path, TraceFormat format);

}  // namespace gpio
