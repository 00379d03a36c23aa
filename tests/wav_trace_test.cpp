#include <gtest/gtest.h>

#include <cstdio>

#include "support/child.hpp"
#include "wav_trace.hpp"
#include "support/pitch.hpp"
#include "support/wav.hpp"

using namespace std::chrono_literals;

TEST(WavTrace, KilledMidNoteLeavesAPlayableFileInTune) {
    const std::string path = testing_support::scratchPath("killed.wav");
    testing_support::RunOptions options;
    options.argv = testing_support::programCommand(SCALE_PROGRAM);
    options.env = {"GPIO_BACKEND=sim", "GPIO_TRACE=" + path};
    options.unset = {"GPIO_CHIP"};
    options.limit = 2400ms;  // four notes, with room for a slow start under a sanitizer
    const auto result = testing_support::run(options);
    ASSERT_TRUE(result.killed);

    const auto wav = testing_support::readWav(path);
    std::remove(path.c_str());
    ASSERT_TRUE(wav.valid) << wav.problem;
    ASSERT_EQ(wav.sampleRate, 48000);
    // The first four half-seconds, a margin off each end for the changes.
    ASSERT_GE(wav.samples.size(), 4u * 24000 - 2400);
    const double scale[] = {262, 294, 330, 349};
    for (std::size_t note = 0; note < 4; ++note) {
        const std::size_t from = note * 24000 + 2400;
        const auto crossings = testing_support::upwardCrossings(wav, from, from + 19200);
        EXPECT_NEAR(testing_support::pitchHz(crossings), scale[note], scale[note] * 0.005)
            << "note " << note;
    }
}

TEST(WavTrace, SampleArithmeticHoldsForTenYears) {
    constexpr std::int64_t kTenYears = 10LL * 365 * 24 * 3600;
    EXPECT_EQ(gpio::WavTrace::sampleAt(std::chrono::seconds(kTenYears) + 1ms), kTenYears * 48000 + 48);
}
