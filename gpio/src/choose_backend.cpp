#include <cstdlib>
#include <string>

#include "backend.hpp"
#include "error.hpp"
#include "sim_backend.hpp"

namespace gpio {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::unique_ptr<Backend> simulated(const char* why) {
    report(std::string("pins are simulated, nothing is driven (") + why +
           "); set GPIO_TRACE=FILE.vcd or FILE.wav to record them");
    return std::make_unique<SimBackend>();
}

}  // namespace

std::unique_ptr<Backend> chooseBackend() {
    const std::string name = environment("GPIO_BACKEND");
    if (name.empty()) return simulated("no GPIO chip backend in this build");
    if (name == "sim") return simulated("GPIO_BACKEND=sim");
    throw Error("GPIO_BACKEND=" + name, "unknown backend", 0, "use sim, or unset it");
}

}  // namespace gpio
