#include "pwm_channel.hpp"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "error.hpp"
#include "tone.hpp"
#include "unique_fd.hpp"

namespace gpio {
namespace {

const char* fileOf(PwmAttribute attribute) {
    switch (attribute) {
    case PwmAttribute::Period:
        return "period";
    case PwmAttribute::DutyCycle:
        return "duty_cycle";
    case PwmAttribute::Enable:
        return "enable";
    }
    return "";
}

std::string accessRemedy(int err) {
    if (err == EACCES || err == EPERM) return "run as root or join the gpio group";
    return "check the PWM overlay in config.txt, or set GPIO_TONE=thread";
}

// One value, one write, as sysfs wants it (O_TRUNC, as a shell would).
// Returns 0 or the errno.
int writeValue(const std::filesystem::path& file, std::int64_t value) {
    const UniqueFd fd(::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (!fd) return errno;
    const std::string text = std::to_string(value) + "\n";
    return ::write(fd.get(), text.data(), text.size()) < 0 ? errno : 0;
}

std::int64_t readValue(const std::filesystem::path& file) {
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    char text[32] = {};
    if (!fd || ::read(fd.get(), text, sizeof text - 1) <= 0) return 0;
    return std::strtoll(text, nullptr, 10);
}

}  // namespace

PwmChannel::PwmChannel(std::filesystem::path chip, PwmWatcher::BeforeReady beforeReady)
    : chip_(std::move(chip)), dir_(chip_ / "pwm0"), beforeReady_(beforeReady), lock_(chip_) {
    const bool exported = std::filesystem::exists(dir_ / "enable");
    if (exported && readValue(dir_ / "enable") != 0) {
        throw Error((dir_ / "enable").string(), "the PWM is already playing for something else", 0,
                    "stop what drives it first; this program does not take it over");
    }
    // Watched from before the export on, so that no ending leaves it behind.
    unexportAtEnd_ = !exported;
    startWatcher();
    if (!exported) {
        const int err = writeValue(chip_ / "export", 0);
        if (err != 0) {
            unexportAtEnd_ = false;
            watcher_->unexportAtEnd(false);
            throw Error((chip_ / "export").string(), "cannot export PWM channel 0", err, accessRemedy(err));
        }
        // The kernel makes the channel's files, and udev their permissions,
        // a moment after the export.
        for (int tries = 0; tries < 200 && ::access((dir_ / "enable").c_str(), W_OK) != 0; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    state_ = {readValue(dir_ / "period"), readValue(dir_ / "duty_cycle"), false};
    apply(toneSteps(state_, 0));
    apply(squareWaveSteps(state_, periodNsOf(Tone::kMaxHz)));
}

// Stopped here as well as by the watcher, which may have been killed.
PwmChannel::~PwmChannel() {
    const bool watched = watcher_ && !watcher_->ended();
    try {
        apply(stopSteps(state_));
        const int err = !watched && unexportAtEnd_ ? writeValue(chip_ / "unexport", 0) : 0;
        if (err != 0) {
            throw Error((chip_ / "unexport").string(), "cannot unexport PWM channel 0", err, accessRemedy(err));
        }
    } catch (const Error& e) {
        // A watcher tries the same writes and says which one failed.
        if (!watched) report(e);
    }
}

void PwmChannel::startWatcher() {
    watcher_.emplace(dir_, chip_ / "unexport", lock_.fd(), unexportAtEnd_, beforeReady_);
}

void PwmChannel::play(int hz) {
    if (!watcher_ || watcher_->ended()) {
        // Killed from outside: without a new one, the program's end would
        // leave the tone playing. Silent first, so that a program killed
        // before its new watcher is ready leaves nothing sounding.
        watcher_.reset();
        apply(toneSteps(state_, 0));
        startWatcher();
        report(Error(dir_.string(), "the PWM's watcher process was killed; started another", 0,
                     "find what killed it (an OOM kill, a service manager's stop)"));
    }
    if (state_.enabled && readValue(dir_ / "enable") == 0) {
        throw Error((dir_ / "enable").string(), "something else has disabled the PWM, the tone is silent", 0,
                    "stop whatever else writes to this PWM, then start the program again");
    }
    apply(toneSteps(state_, hz));
}

void PwmChannel::apply(const std::vector<PwmWrite>& writes) {
    for (const PwmWrite& w : writes) {
        if (w.attribute == PwmAttribute::Enable && w.value == 0 && state_.enabled)
            std::this_thread::sleep_for(settleTime(state_.periodNs));
        const std::filesystem::path file = dir_ / fileOf(w.attribute);
        const int err = writeValue(file, w.value);
        if (err == EINVAL && w.attribute == PwmAttribute::Period) {
            throw Error(file.string(), "the PWM refuses a period of " + std::to_string(w.value) + " ns", err,
                        "it cannot time a tone this high; set GPIO_TONE=thread");
        }
        if (err != 0) throw Error(file.string(), "cannot set the PWM", err, accessRemedy(err));
        state_ = applied(state_, {w});
    }
}

}  // namespace gpio
