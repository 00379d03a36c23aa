#pragma once

#include <memory>
#include <utility>

#include "clock.hpp"
#include "pin.hpp"
#include "trace.hpp"

namespace gpio {

// Records every level it passes on to the pin it wraps.
class TracedPin : public Pin {
public:
    TracedPin(std::unique_ptr<Pin> inner, int number, std::shared_ptr<Trace> trace)
        : inner_(std::move(inner)), number_(number), trace_(std::move(trace)) {}

    void set(Level level) override {
        inner_->set(level);
        trace_->edge(number_, level, Clock::now());
    }

private:
    std::unique_ptr<Pin> inner_;
    int number_;
    std::shared_ptr<Trace> trace_;
};

}  // namespace gpio
