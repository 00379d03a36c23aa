#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/time.h>
#include <wiringPi.h>

namespace {
void ignoreAlarm(int) {}
}  // namespace

TEST(Delay, SleepsAtLeastTheTimeAskedEvenWhenSignalsInterrupt) {
    struct sigaction action {};
    action.sa_handler = ignoreAlarm;  // no SA_RESTART: every alarm interrupts the sleep
    struct sigaction previous {};
    sigaction(SIGALRM, &action, &previous);
    itimerval every3ms{{0, 3000}, {0, 3000}};
    setitimer(ITIMER_REAL, &every3ms, nullptr);

    const auto start = std::chrono::steady_clock::now();
    delay(100);
    const auto slept = std::chrono::steady_clock::now() - start;

    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_GE(slept, std::chrono::milliseconds(100));
    EXPECT_LT(slept, std::chrono::milliseconds(1000));
}
