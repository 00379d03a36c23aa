#pragma once

#include <sys/resource.h>

// What the whole process has spent so far: CPU and context switches.
struct ProcessUsage {
    double cpuSeconds;
    long switches;
};

inline ProcessUsage processUsage() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
    return {seconds(u.ru_utime) + seconds(u.ru_stime), u.ru_nvcsw + u.ru_nivcsw};
}

