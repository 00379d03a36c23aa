#include "edge_line.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <thread>
#include <linux/gpio.h>
#include <poll.h>
#include <unistd.h>

#include "chip_backend.hpp"
#include "error.hpp"
#include "pin_map.hpp"

namespace {

int toMs(gpio::Clock::duration d) {
    return static_cast<int>(std::max<long long>(
        0, std::chrono::ceil<std::chrono::milliseconds>(d).count()));
}

}  // namespace

EdgeLine::EdgeLine(const std::string& name) : name_(name) {
    const std::vector<std::string> paths = gpio::findGpioChips();
    std::string searched;
    for (const std::string& path : paths) {
        const gpio::GpioChip chip(path);
        if (const auto offset = chip.findLine(name)) {
            fd_ = chip.requestEdges(*offset, name, program_invocation_short_name);
            // Read as far as there is, never waiting inside read: poll waits.
            const int flags = ::fcntl(fd_.get(), F_GETFL);
            if (flags < 0 || ::fcntl(fd_.get(), F_SETFL, flags | O_NONBLOCK) != 0)
                throw gpio::Error(path + " line " + name, "cannot read its edges without waiting", errno, "check the board");
            return;
        }
        searched += (searched.empty() ? "" : ", ") + path;
    }
    throw gpio::Error("line " + name, "no GPIO chip has a line of that name",
                      0, searched.empty() ? "this machine has no /dev/gpiochip*: run it on the board"
                                          : "searched " + searched + "; name the line as gpioinfo lists it, e.g. GPIO23");
}

std::optional<int> EdgeLine::headerPin() const {
    const std::string digits = name_.rfind("GPIO", 0) == 0 ? name_.substr(4) : "";
    if (digits.empty() || digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return gpio::headerPin(std::stoi(digits));
}

std::string EdgeLine::described() const {
    const auto header = headerPin();
    return header ? name_ + " (header pin " + std::to_string(*header) + ")" : name_;
}

void EdgeLine::take(std::vector<EdgeRecorder::Edge>& into) {
    gpio_v2_line_event events[64];
    for (;;) {
        const ssize_t got = ::read(fd_.get(), events, sizeof events);
        if (got < 0 && errno == EAGAIN) return;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw gpio::Error("line " + name_, "cannot read its edges", errno, "check the board");
        const auto count = static_cast<std::size_t>(got) / sizeof events[0];
        for (std::size_t i = 0; i < count; ++i) {
            const gpio_v2_line_event& e = events[i];
            if (lastSeqno_ != 0 && e.line_seqno > lastSeqno_ + 1) lost_ += e.line_seqno - lastSeqno_ - 1;
            lastSeqno_ = e.line_seqno;
            const auto at = gpio::Clock::time_point(std::chrono::nanoseconds(e.timestamp_ns));
            into.push_back({at, e.id == GPIO_V2_LINE_EVENT_RISING_EDGE ? gpio::Level::High : gpio::Level::Low});
        }
        if (count < std::size(events)) return;
    }
}

std::vector<EdgeRecorder::Edge> EdgeLine::readUntil(gpio::Clock::time_point until,
                                                    gpio::Clock::duration batch) {
    std::vector<EdgeRecorder::Edge> edges;
    for (auto now = gpio::Clock::now(); now < until; now = gpio::Clock::now()) {
        pollfd ready{fd_.get(), POLLIN, 0};
        if (::poll(&ready, 1, toMs(until - now)) > 0) {
            take(edges);
            // Left to gather: one wake-up a batch, not one an edge.
            std::this_thread::sleep_for(std::min(batch, until - gpio::Clock::now()));
        }
    }
    take(edges);
    while (!edges.empty() && edges.back().at > until) edges.pop_back();
    return edges;
}

void EdgeLine::drain() {
    std::vector<EdgeRecorder::Edge> dropped;
    take(dropped);
}
