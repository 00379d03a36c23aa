#include <gtest/gtest.h>

#include "edge_schedule.hpp"

using gpio::Clock;
using gpio::EdgeSchedule;
using namespace std::chrono_literals;

namespace {

// Edges taken exactly on time, as an ideal generator would.
Clock::time_point runOnTime(EdgeSchedule& schedule, int edges) {
    Clock::time_point due{};
    for (int i = 0; i < edges; ++i) {
        due = schedule.next();
        schedule.advance(due);
    }
    return due;
}

}  // namespace

TEST(EdgeSchedule, MeanFrequencyIsExactOverLongRuns) {
    // Half-periods that are no whole number of nanoseconds must not drift.
    for (int hz : {262, 294, 330, 349, 392, 440, 494, 525, 4999}) {
        const Clock::time_point origin{};
        EdgeSchedule schedule(origin, hz);
        const int seconds = 7;
        EXPECT_EQ(runOnTime(schedule, 2 * hz * seconds), origin + std::chrono::seconds(seconds))
            << hz << " Hz";
    }
}

TEST(EdgeSchedule, LateEdgesDoNotShiftLaterOnes) {
    const Clock::time_point origin{};
    EdgeSchedule schedule(origin, 500);  // 1 ms half-period
    schedule.advance(schedule.next() + 300us);
    schedule.advance(schedule.next() + 900us);
    EXPECT_EQ(schedule.next(), origin + 3ms);
}

TEST(EdgeSchedule, FallingBehindByMoreThanAPeriodStartsAfresh) {
    const Clock::time_point origin{};
    EdgeSchedule schedule(origin, 500);
    const Clock::time_point late = schedule.next() + 2500us;  // past a 2 ms period
    schedule.advance(late);
    // One half-period after the late edge, not a burst of the missed ones.
    EXPECT_EQ(schedule.next(), late + 1ms);
}
