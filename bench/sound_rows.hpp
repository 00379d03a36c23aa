#pragma once

#include <string>

// The tone through the sound card (the sound backend's path) on an ALSA
// device: latency from softToneWrite to the new note's first sample leaving
// the device, the spread of note lengths as the card's clock counts them,
// and underruns, over a scale played note by note. Where the build has no
// sound, or the device cannot be opened, one row says so.
void printSoundRows(const std::string& device, double seconds);
