#include "realtime.hpp"

#include <cerrno>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>

#include "error.hpp"

namespace gpio {
namespace {

// Above every ordinary thread, well below the kernel's own real-time work.
constexpr int kTonePriority = 10;

void reportOnce(std::once_flag& flag, const Error& error) {
    std::call_once(flag, [&] { report(error); });
}

}  // namespace

void tuneThreadForTiming() {
    static std::once_flag slackReported;
    static std::once_flag schedReported;

    // Default slack lets the kernel defer wake-ups by 50 us.
    if (prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) != 0) {
        reportOnce(slackReported, Error("tone thread", "cannot set 1 ns timer slack", errno,
                                        "edges may come up to 50 us late"));
    }

    sched_param param{};
    param.sched_priority = kTonePriority;
    const int err = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    if (err != 0) {
        reportOnce(schedReported,
                   Error("tone thread", "no real-time scheduling", err,
                         "the tone may waver under load; run as root or grant CAP_SYS_NICE"));
    }
}

}  // namespace gpio
