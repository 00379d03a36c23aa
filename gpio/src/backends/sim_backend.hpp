#pragma once

#include <atomic>
#include <memory>

#include "backend.hpp"

namespace gpio {

// A pin that only keeps its level in memory.
class SimPin : public Pin {
public:
    void set(Level level) override { level_.store(level, std::memory_order_relaxed); }
    Level level() const { return level_.load(std::memory_order_relaxed); }

private:
    std::atomic<Level> level_{Level::Low};
};

class SimBackend : public Backend {
public:
    std::unique_ptr<Pin> openOutput(int /*pin*/) override { return std::make_unique<SimPin>(); }
};

}  // namespace gpio
