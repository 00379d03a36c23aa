#pragma once

#include <optional>
#include <string>
#include <vector>

struct Options {
    double seconds = 2.0;
    std::string csvPath = "tone_bench.csv";
    std::vector<int> frequencies;  // empty: the benchmark's own list
    std::string pwmChip;           // empty: the first
    std::string soundDevice = "default";
    std::string pngPath = "tone_bench.png";
    std::string loopbackLine;  // set: measure the tone at the pin, read back on this line
    bool listen = false;       // with a loopback line: read only, something else plays
};

extern const char* const kUsage;

// The options, or nothing when the run is over: --help was printed (status
// 0), or a wrong option was said in one line on standard error (status 2).
std::optional<Options> parseOptions(int argc, char** argv, int& status);
