#pragma once

#include "options.hpp"

// The tone measured at the board's pin: each note played through the layer,
// as the program plays it (by a kernel PWM that holds the line, else by the
// thread), and read back by the kernel's edge timestamps on a line wired to
// it; or, listening, whatever another source plays on that line. Prints the
// benchmark's table and picture. Returns the exit status: 0, or 1 after one
// line on standard error that says what is wrong with the set-up.
int runLoopback(const Options& options);
