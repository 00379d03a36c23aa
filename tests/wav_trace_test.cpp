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
    options.limit = 3000ms;  // four notes, with room for a slow start under a sanitizer
    const auto result = testing_support::run(options);
    ASSERT_TRUE(result.killed);

    const auto wav = testing_support::readWav(path);
    std::remove(path.c_str());
    ASSERT_TRUE(wav.valid) << wav.problem;
    ASSERT_EQ(wav.sampleRate, 48000);
    // The notes as heard in the file, wherever they begin.
    const auto notes =
        testing_support::notes(testing_support::upwardCrossings(wav, 0, wav.samples.size()), 100.0);
    SCOPED_TRACE("notes in the file: " + testing_support::describe(notes));
    ASSERT_GE(notes.size(), 4u);
    const double scale[] = {262, 294, 330, 349};
    for (std::size_t note = 0; note < 4; ++note)
        EXPECT_NEAR(notes[note].hz, scale[note], scale[note] * 0.005) << "note " << note;
}

TEST(WavTrace, SampleArithmeticHoldsForTenYears) {
    constexpr std::int64_t kTenYears = 10LL * 365 * 24 * 3600;
    EXPECT_EQ(gpio::WavTrace::sampleAt(std::chrono::seconds(kTenYears) + 1ms), kTenYears * 48000 + 48);
}
