#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct Wav {
    bool valid = false;  // a PCM WAV whose header sizes agree with the data in the file
    std::string problem;
    int sampleRate = 0;
    std::vector<std::int16_t> samples;
};

// Reads a 16-bit mono PCM WAV file with a 44-byte header.
Wav readWav(const std::string& path);

// Times of the upward zero crossings between two sample indexes, in us.
std::vector<long long> upwardCrossings(const Wav& wav, std::size_t from, std::size_t to);

}  // namespace testing_support
