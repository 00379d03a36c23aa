#include <memory>
#include <string>

#include "error.hpp"
#include "trace.hpp"
#include "vcd_trace.hpp"
#include "wav_trace.hpp"

namespace gpio {
namespace {

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::shared_ptr<Trace> openTrace(const std::string& path) {
    if (endsWith(path, ".vcd")) return std::make_shared<VcdTrace>(path);
    if (endsWith(path, ".wav")) return std::make_shared<WavTrace>(path);
    throw Error("GPIO_TRACE=" + path, "unknown trace format", 0,
                "name a file ending in .vcd (signal) or .wav (sound)");
}

}  // namespace gpio
