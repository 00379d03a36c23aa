#include "wav.hpp"

#include <fstream>
#include <iterator>

namespace testing_support {
namespace {

std::uint32_t le(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

}  // namespace

Wav readWav(const std::string& path) {
    Wav wav;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 8, "WAVEfmt ") != 0 ||
        bytes.compare(36, 4, "data") != 0) {
        wav.problem = "not a WAV file with a 44-byte header";
        return wav;
    }
    const std::uint32_t dataBytes = le(bytes, 40, 4);
    if (le(bytes, 20, 2) != 1 || le(bytes, 22, 2) != 1 || le(bytes, 34, 2) != 16) {
        wav.problem = "not 16-bit mono PCM";
    } else if (le(bytes, 4, 4) != 36 + dataBytes) {
        wav.problem = "RIFF size disagrees with the data size";
    } else if (dataBytes % 2 != 0 || 44 + static_cast<std::size_t>(dataBytes) > bytes.size()) {
        wav.problem = "data size beyond the end of the file";
    } else {
        wav.valid = true;
    }
    wav.sampleRate = static_cast<int>(le(bytes, 24, 4));
    for (std::size_t at = 44; at + 1 < 44 + static_cast<std::size_t>(dataBytes) && at + 1 < bytes.size(); at += 2)
        wav.samples.push_back(static_cast<std::int16_t>(le(bytes, at, 2)));
    return wav;
}

std::vector<long long> upwardCrossings(const Wav& wav, std::size_t from, std::size_t to) {
    std::vector<long long> times;
    for (std::size_t i = from + 1; i < to && i < wav.samples.size(); ++i) {
        if (wav.samples[i - 1] < 0 && wav.samples[i] >= 0)
            times.push_back(static_cast<long long>(i) * 1'000'000 / wav.sampleRate);
    }
    return times;
}

}  // namespace testing_support
