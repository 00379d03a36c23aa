#pragma once

#include <string>
#include <vector>

#include "vcd.hpp"

namespace testing_support {

// Times of the rising edges of a square wave, in microseconds.
std::vector<long long> risingEdges(const std::vector<Edge>& edges);

// The frequency a listener hears: the mean period over stretches of the wave
// that no stall interrupts, so that a late wake-up of a busy machine (a
// click) does not count as pitch.
double pitchHz(const std::vector<long long>& risingUs);

struct Note {
    double hz;          // its pitch
    double durationMs;  // its first rising edge to the next note's (the last: to its last)
};

// Splits a square wave, given by the times of its rising edges (or upward
// zero crossings), into its notes. A note ends where the median period of
// the edges around it changes; a stretch shorter than shortestMs is taken
// for a disturbance inside a note (a stalled machine), not a note of its own.
std::vector<Note> notes(const std::vector<long long>& risingUs, double shortestMs);

// The notes heard in a VCD trace or a WAV file, printed for the log, so that
// a failing test shows what was played.
std::string describe(const std::vector<Note>& notes);

}  // namespace testing_support
