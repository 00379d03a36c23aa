#include "gpio_chip.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/gpio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "error.hpp"
#include "line_busy.hpp"

namespace gpio {
namespace {

std::string accessRemedy(int err) {
    if (err == EACCES || err == EPERM) return "run as root or join the gpio group";
    if (err == ENOENT || err == EISDIR) return "check GPIO_CHIP, or unset it to search every /dev/gpiochip*";
    return "check that the GPIO driver is loaded";
}

constexpr const char* kNotAChipRemedy = "set GPIO_CHIP to a /dev/gpiochipN, or unset it to search them all";

// The device number of the GPIO chip at path, asked of the kernel before
// anything opens it: an open alone arms a watchdog, pulses a serial line's
// DTR, or blocks for ever on a modem line.
dev_t checkedChip(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        throw Error(path, "cannot open the GPIO chip", err, accessRemedy(err));
    }
    if (!S_ISCHR(st.st_mode)) throw Error(path, "not a GPIO chip", 0, kNotAChipRemedy);
    const std::filesystem::path devices = "/sys/dev/char";
    const auto subsystem =
        devices / (std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev))) / "subsystem";
    std::error_code ec;
    const std::string kind = std::filesystem::read_symlink(subsystem, ec).filename().string();
    if (ec && !std::filesystem::exists(devices)) {
        throw Error(path, "cannot tell whether it is a GPIO chip: no " + devices.string(), 0, "mount sysfs on /sys");
    }
    if (kind != "gpio") {
        throw Error(path, kind.empty() ? "not a GPIO chip" : "not a GPIO chip but a " + kind + " device", 0,
                    kNotAChipRemedy);
    }
    return st.st_rdev;
}

// No controlling terminal and no wait, whatever the path turns out to be.
UniqueFd openChip(const std::string& path) {
    const dev_t device = checkedChip(path);
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd) {
        const int err = errno;
        throw Error(path, "cannot open the GPIO chip", err, accessRemedy(err));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISCHR(st.st_mode) || st.st_rdev != device) {
        throw Error(path, "not a GPIO chip: it changed while it was opened", 0, kNotAChipRemedy);
    }
    return fd;
}

std::optional<gpio_v2_line_info> lineInfo(int fd, unsigned offset) {
    gpio_v2_line_info info{};
    info.offset = offset;
    if (ioctl(fd, GPIO_V2_GET_LINEINFO_IOCTL, &info) != 0) return std::nullopt;
    return info;
}

// The first of the chip's lines whose information matches.
template <class Match>
std::optional<unsigned> firstLine(int fd, unsigned lines, Match match) {
    for (unsigned offset = 0; offset < lines; ++offset) {
        const auto info = lineInfo(fd, offset);
        if (info && match(*info)) return offset;
    }
    return std::nullopt;
}

}  // namespace

GpioChip::GpioChip(std::string path) : path_(std::move(path)), fd_(openChip(path_)) {
    gpiochip_info chip{};
    if (ioctl(fd_.get(), GPIO_GET_CHIPINFO_IOCTL, &chip) != 0) {
        throw Error(path_, "not a GPIO chip", errno, kNotAChipRemedy);
    }
    lines_ = chip.lines;
    if (lines_ > 0 && !lineInfo(fd_.get(), 0)) {
        const int err = errno;
        if (err == EINVAL || err == ENOTTY) {
            throw Error(path_, "this kernel lacks the GPIO character device's uAPI v2", err,
                        "update to Linux 5.10 or later");
        }
        throw Error(path_, "cannot read line information", err, accessRemedy(err));
    }
}

std::optional<unsigned> GpioChip::findLine(const std::string& name) const {
    return firstLine(fd_.get(), lines_, [&](const gpio_v2_line_info& info) { return name == info.name; });
}

bool GpioChip::namesLines() const {
    return firstLine(fd_.get(), lines_, [](const gpio_v2_line_info& info) { return info.name[0] != '\0'; })
        .has_value();
}

std::string GpioChip::subject(unsigned offset, const std::string& lineName) const {
    return path_ + " line " + std::to_string(offset) + " (" + lineName + ")";
}

UniqueFd GpioChip::request(unsigned offset, const std::string& lineName, const std::string& consumer,
                           const gpio_v2_line_config& config, const char* as) const {
    const std::string what = subject(offset, lineName);
    if (offset >= lines_) {
        throw Error(what, "no such line", 0,
                    "this chip has " + std::to_string(lines_) + " lines; set GPIO_CHIP to another chip");
    }
    gpio_v2_line_request request{};
    request.offsets[0] = offset;
    request.num_lines = 1;
    const std::size_t length = std::min(consumer.size(), sizeof request.consumer - 1);
    std::memcpy(request.consumer, consumer.data(), length);
    request.config = config;
    // The most the kernel keeps: a reader held up for tens of milliseconds loses no edge.
    if (config.flags & GPIO_V2_LINE_FLAG_EDGE_RISING) request.event_buffer_size = 16 * GPIO_V2_LINES_MAX;
    if (ioctl(fd_.get(), GPIO_V2_GET_LINE_IOCTL, &request) != 0) {
        const int err = errno;
        if (err == EBUSY) {
            const auto info = lineInfo(fd_.get(), offset);
            const std::string holder = info && info->consumer[0] ? info->consumer : "the kernel";
            throw LineBusy(what, holder, err);
        }
        throw Error(what, std::string("cannot request the line as ") + as, err, accessRemedy(err));
    }
    return UniqueFd(request.fd);
}

LineRequest GpioChip::requestOutput(unsigned offset, const std::string& lineName,
                                    const std::string& consumer) const {
    gpio_v2_line_config config{};
    config.flags = GPIO_V2_LINE_FLAG_OUTPUT;
    config.num_attrs = 1;
    config.attrs[0].attr.id = GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES;
    config.attrs[0].attr.values = 0;  // starts low
    config.attrs[0].mask = 1;
    return LineRequest(request(offset, lineName, consumer, config, "an output"), subject(offset, lineName));
}

UniqueFd GpioChip::requestEdges(unsigned offset, const std::string& lineName, const std::string& consumer) const {
    gpio_v2_line_config config{};
    config.flags = GPIO_V2_LINE_FLAG_INPUT | GPIO_V2_LINE_FLAG_EDGE_RISING | GPIO_V2_LINE_FLAG_EDGE_FALLING;
    return request(offset, lineName, consumer, config, "an input with edge events");
}

}  // namespace gpio
