#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "edge_recorder.hpp"

struct ToneStats {
    double meanHz = 0;
    double cents = 0;  // error of meanHz against the target
    double heardCents = 0;  // the same over the periods near the median: pitch without stalls
    double lateP50Us = 0, lateP99Us = 0, lateMaxUs = 0;
    double jitterUs = 0;  // p99 - p50
    int resyncs = 0;      // edges more than a period late, after which the ideal restarts
    double cpuPercent = 0;  // of one core, while the tone plays
    std::vector<double> lateUs;  // each edge's lateness, for the picture
};

// Measures a steady tone from its edges against the ideal schedule of the
// target frequency, anchored at the first edge; cpuSeconds is what the tone's
// thread used over the same span.
ToneStats analyse(const std::vector<EdgeRecorder::Edge>& edges, int hz, double cpuSeconds);

struct Lateness {
    double p50Us, p99Us, maxUs;
};
Lateness summarise(const std::vector<double>& latenessUs);

// The value below which the given share (0..1) of the values lie.
double percentile(std::vector<double> values, double share);

// How late edges come, as the share of them in bins doubling from 1 us, one
// column a generator: the picture's CSV.
void writeLatenessCsv(const std::string& path, const std::vector<std::string>& names,
                      const std::vector<std::vector<double>>& latenessUs);
