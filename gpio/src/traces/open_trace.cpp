#include "open_trace.hpp"

#include "error.hpp"
#include "vcd_trace.hpp"
#include "wav_trace.hpp"

namespace gpio {
namespace {

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TraceFormat traceFormat(const std::string& path) {
    if (endsWith(path, ".vcd")) return TraceFormat::Vcd;
    if (endsWith(path, ".wav")) return TraceFormat::Wav;
    throw Error("GPIO_TRACE=" + path, "unknown trace format", 0,
                "name a file ending in .vcd (signal) or .wav (sound)");
}

std::shared_ptr<TraceWriter> openTrace(const std::string& path, TraceFormat format) {
    std::unique_ptr<Trace> encoder;
    switch (format) {
    case TraceFormat::Vcd:
        encoder = std::make_unique<VcdTrace>(path);
        break;
    case TraceFormat::Wav:
        encoder = std::make_unique<WavTrace>(path);
        break;
    }
    return std::make_shared<TraceWriter>(path, std::move(encoder));
}

}  // namespace gpio
