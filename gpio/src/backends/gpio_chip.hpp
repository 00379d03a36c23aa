#pragma once

#include <linux/gpio.h>
#include <optional>
#include <string>

#include "line_request.hpp"
#include "unique_fd.hpp"

namespace gpio {

// One GPIO chip of the kernel's character device (uAPI v2).
class GpioChip {
public:
    // Checks that the kernel calls it a GPIO chip, then opens it. Throws
    // Error naming the path, the cause and the way out: no access, not a GPIO
    // chip (never opened then), a kernel without uAPI v2.
    explicit GpioChip(std::string path);

    const std::string& path() const { return path_; }

    // The offset of the line the kernel names so (e.g. "GPIO22").
    std::optional<unsigned> findLine(const std::string& name) const;
    // Whether the kernel names any of its lines.
    bool namesLines() const;

    // The line as an output, driven low, held for `consumer`. Throws Error,
    // LineBusy naming the holder when another has it.
    LineRequest requestOutput(unsigned offset, const std::string& lineName,
                              const std::string& consumer) const;
    // The line as an input whose every edge the kernel reports on the
    // returned descriptor, stamped by CLOCK_MONOTONIC in its interrupt
    // handler. Throws as requestOutput does.
    UniqueFd requestEdges(unsigned offset, const std::string& lineName, const std::string& consumer) const;

private:
    std::string subject(unsigned offset, const std::string& lineName) const;
    UniqueFd request(unsigned offset, const std::string& lineName, const std::string& consumer,
                     const gpio_v2_line_config& config, const char* as) const;

    std::string path_;
    UniqueFd fd_;
    unsigned lines_ = 0;
};

}  // namespace gpio
