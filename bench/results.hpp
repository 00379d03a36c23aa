#pragma once

#include <string>
#include <vector>

#include "edge_stats.hpp"

// One tone measured: by which generator or timing, at which frequency.
struct Result {
    std::string generator;
    int hz;
    ToneStats stats;
    double latencyP50Us, latencyMaxUs;  // from the call to the first edge of the note
};

// What the columns mean, and their heads.
void printTableHead();
// One row; with `ours`, the ratio of this row's pitch error to ours.
void printRow(const Result& r, const Result* ours);

void writeCsv(const std::string& path, const std::vector<Result>& results);

// The picture of the lateness CSV and each note's pitch error, by gnuplot
// where it is installed.
void plot(const std::vector<Result>& results, const std::string& lateness, const std::string& png);

// The host: CPU, cores, kernel.
std::string machine();
