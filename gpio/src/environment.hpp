#pragma once

#include <cstdlib>
#include <string>

namespace gpio {

// An environment variable's value, empty when it is unset.
inline std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace gpio
