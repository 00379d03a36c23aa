#include "vcd_trace.hpp"

#include <chrono>
#include <string_view>

#include "pin_map.hpp"

namespace gpio {
namespace {

// VCD identifiers are printable characters; pins 0..31 fit from '!' on.
char identifier(int pin) { return static_cast<char>('!' + pin); }

std::string header() {
    std::string text =
        "$version scale player GPIO layer, simulated pins $end\n"
        "$timescale 1 us $end\n"
        "$scope module gpio $end\n";
    for (const PinMapping& m : kPinMap) {
        text += "$var wire 1 ";
        text += identifier(m.pin);
        text += " pin" + std::to_string(m.pin) + " $end\n";
    }
    text += "$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n";
    for (const PinMapping& m : kPinMap) {
        text += '0';
        text += identifier(m.pin);
        text += '\n';
    }
    text += "$end\n";
    return text;
}

}  // namespace

VcdTrace::VcdTrace(const std::string& path)
    : file_(path, TraceFile::Access::Append), origin_(Clock::now()) {
    file_.append(header());
}

void VcdTrace::edge(int pin, Level level, Clock::time_point when) {
    if (!broadcomGpio(pin)) return;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(when - origin_).count();
    std::string record;
    // Time never runs back in a VCD, even if two tone threads' stamps cross.
    if (us > lastUs_) {
        lastUs_ = us;
        record = '#' + std::to_string(us) + '\n';
    }
    record += level == Level::High ? '1' : '0';
    record += identifier(pin);
    record += '\n';
    file_.append(record);
}

}  // namespace gpio
