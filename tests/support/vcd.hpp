#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct Edge {
    long long us;
    bool high;
};

struct Vcd {
    bool complete = false;  // header ended, every line after it well formed, every time with a change
    std::vector<Edge> edges;  // of the wire asked for, in file order
};

// Reads the changes of the wire named `wire` from a VCD file.
Vcd readVcd(const std::string& path, const std::string& wire);

}  // namespace testing_support
