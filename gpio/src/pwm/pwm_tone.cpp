#include "pwm_tone.hpp"

#include "error.hpp"

namespace gpio {

PwmTone::PwmTone(const std::filesystem::path& chip)
    : channel_(std::make_unique<PwmChannel>(chip)),
      watcher_(std::make_unique<PwmWatcher>(channel_->dir(), channel_->unexportFile())) {}

PwmTone::~PwmTone() {
    // The channel first: the watcher, let go, would unexport it under us.
    channel_.reset();
    watcher_.reset();
}

void PwmTone::changeTo(int hz) {
    // The channel writes nothing for the frequency it already plays.
    try {
        channel_->play(hz);
    } catch (const Error& e) {
        if (!reported_) report(e);
        reported_ = true;
    }
}

}  // namespace gpio
