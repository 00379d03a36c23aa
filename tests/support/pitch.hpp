#pragma once

#include <vector>

#include "vcd.hpp"

namespace testing_support {

// Times of the rising edges of a square wave, in microseconds.
std::vector<long long> risingEdges(const std::vector<Edge>& edges);

// The frequency a listener hears: the mean over the periods near the median,
// so that a late wake-up of a busy machine (a click) does not count as pitch.
double pitchHz(const std::vector<long long>& risingUs);

struct Note {
    double hz;          // its pitch
    double durationMs;  // its first rising edge to the next note's (the last: to its last)
};

// Splits a square wave into its notes. A note ends where the median period
// of the edges around it changes; a stretch shorter than shortestMs is taken
// for a disturbance inside a note (a stalled machine), not a note of its own.
std::vector<Note> notes(const std::vector<Edge>& edges, double shortestMs);

}  // namespace testing_support
