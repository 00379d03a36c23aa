#include <gtest/gtest.h>

#include <thread>

#include "recording_pin.hpp"
#include "support/pitch.hpp"
#include "tone_generator.hpp"

using gpio::Clock;
using gpio::Level;
using gpio::ToneGenerator;
using namespace std::chrono_literals;

namespace {

using Changes = std::vector<RecordingPin::Change>;

std::vector<long long> risingSince(const Changes& changes, Clock::time_point since) {
    std::vector<long long> rising;
    for (const auto& c : changes) {
        if (c.at >= since && c.level == Level::High)
            rising.push_back(std::chrono::duration_cast<std::chrono::microseconds>(c.at - since).count());
    }
    return rising;
}

std::size_t countSince(const Changes& changes, Clock::time_point since) {
    std::size_t n = 0;
    for (const auto& c : changes) n += c.at >= since;
    return n;
}

class ToneGeneratorTest : public ::testing::Test {
protected:
    RecordingPin::Log log;
    std::unique_ptr<ToneGenerator> tone =
        std::make_unique<ToneGenerator>(std::make_unique<RecordingPin>(log));
};

}  // namespace

TEST_F(ToneGeneratorTest, StartsLowAndSilentAndEndsLow) {
    std::this_thread::sleep_for(50ms);
    Changes changes = log.changes();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].level, Level::Low);

    tone->setFrequency(1000);
    std::this_thread::sleep_for(50ms);
    tone.reset();
    changes = log.changes();
    EXPECT_GT(changes.size(), 10u);
    EXPECT_EQ(changes.back().level, Level::Low);
}

TEST_F(ToneGeneratorTest, EdgesAlternateAtTheRequestedRate) {
    tone->setFrequency(1000);
    std::this_thread::sleep_for(300ms);
    const Changes changes = log.changes();
    for (std::size_t i = 1; i < changes.size(); ++i)
        ASSERT_NE(changes[i].level, changes[i - 1].level) << "at change " << i;
    // Generous bounds: timing is the benchmark's job.
    EXPECT_NEAR(testing_support::pitchHz(risingSince(changes, Clock::time_point{})), 1000.0, 10.0);
}

TEST_F(ToneGeneratorTest, SilenceHoldsThePinLowWithoutEdges) {
    for (int silent : {0, -5}) {
        tone->setFrequency(800);
        std::this_thread::sleep_for(20ms);
        tone->setFrequency(silent);
        std::this_thread::sleep_for(60ms);  // room for a stalled wake-up
        const Clock::time_point quiet = Clock::now();
        std::this_thread::sleep_for(100ms);
        const Changes changes = log.changes();
        EXPECT_EQ(changes.back().level, Level::Low) << silent;
        // One change at most: the silencing itself, if a stall delayed it.
        EXPECT_LE(countSince(changes, quiet), 1u) << silent;
    }
}

TEST_F(ToneGeneratorTest, ANewFrequencyCutsTheOldHalfPeriodShort) {
    tone->setFrequency(1);  // half a second between edges
    std::this_thread::sleep_for(50ms);
    const Clock::time_point asked = Clock::now();
    tone->setFrequency(2000);
    std::this_thread::sleep_for(100ms);
    const Changes changes = log.changes();
    Clock::time_point first{};
    for (const auto& c : changes)
        if (c.at >= asked) {
            first = c.at;
            break;
        }
    ASSERT_NE(first, Clock::time_point{});
    EXPECT_LT(first - asked, 250ms) << "not after the old half period of 500 ms";
    EXPECT_GT(countSince(changes, asked), 50u);  // 2000 Hz, not 1 Hz
}

TEST_F(ToneGeneratorTest, FrequenciesAboveTheHighestAreClamped) {
    tone->setFrequency(1'000'000);
    std::this_thread::sleep_for(20ms);
    const Clock::time_point from = Clock::now();
    std::this_thread::sleep_for(200ms);
    const double hz = testing_support::pitchHz(risingSince(log.changes(), from));
    // Never above the highest: the schedule cannot run ahead, whatever the
    // machine does. Below it only on a machine that wakes the thread later
    // than a period (200 us) every few edges: each time it starts afresh, and
    // a simulation of that with the real schedule read 2% low. Half the
    // highest tells a tone at the top from one clamped lower.
    EXPECT_LE(hz, 1.02 * ToneGenerator::kMaxHz);
    EXPECT_GE(hz, 0.5 * ToneGenerator::kMaxHz);
}

TEST_F(ToneGeneratorTest, TheSameFrequencyAgainKeepsThePhase) {
    tone->setFrequency(2);  // an edge every 250 ms
    std::this_thread::sleep_for(100ms);
    const std::size_t before = log.changes().size();
    tone->setFrequency(2);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(log.changes().size(), before);
}
