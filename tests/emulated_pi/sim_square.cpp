// Drives a simulated GPIO line (gpio-sim) as a square wave of a known
// frequency through its pull attribute, until killed. Each half period runs
// to an absolute deadline, so a late write delays one edge but never the
// ones after it: the mean frequency is the one asked. It runs at a real-time
// priority, as a signal generator would not wait for the programs beside
// it, but below the kernel's interrupt threads (50), which must report one
// edge before the next comes: the simulator drops an edge while the last is
// being handled.
//   sim_square /sys/devices/platform/gpio-sim.N/gpiochipM/sim_gpioK/pull HZ
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

int main(int argc, char** argv) {
    const long hz = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 0;
    if (hz <= 0 || hz > 5000) {
        std::fprintf(stderr, "usage: sim_square PULL_FILE HZ (1 to 5000)\n");
        return 2;
    }
    const int fd = open(argv[1], O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "sim_square: %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    sched_param priority{};
    priority.sched_priority = 10;
    if (sched_setscheduler(0, SCHED_FIFO, &priority) != 0)
        std::fprintf(stderr, "sim_square: no real-time priority: %s\n", std::strerror(errno));
    const long halfNs = 500'000'000L / hz;
    timespec due{};
    clock_gettime(CLOCK_MONOTONIC, &due);
    for (bool up = true;; up = !up) {
        due.tv_nsec += halfNs;
        if (due.tv_nsec >= 1'000'000'000L) {
            due.tv_nsec -= 1'000'000'000L;
            ++due.tv_sec;
        }
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
        }
        const char* pull = up ? "pull-up" : "pull-down";
        if (pwrite(fd, pull, std::strlen(pull), 0) < 0) {
            std::fprintf(stderr, "sim_square: %s: %s\n", argv[1], std::strerror(errno));
            return 1;
        }
    }
}
