#include "sleep.hpp"

#include <cerrno>
#include <ctime>

namespace gpio {

void sleepFor(std::chrono::nanoseconds duration) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(duration);
    deadline.tv_sec += static_cast<time_t>(secs.count());
    deadline.tv_nsec += static_cast<long>((duration - secs).count());
    if (deadline.tv_nsec >= 1'000'000'000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1'000'000'000L;
    }
    // An absolute deadline: a signal's interruption resumes without drift.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

}  // namespace gpio
