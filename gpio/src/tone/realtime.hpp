#pragma once

namespace gpio {

// Asks for real-time scheduling and the finest timer slack for the calling
// thread. Where the system refuses, says so once and carries on: the tone
// still plays, only less steadily under load.
void tuneThreadForTiming();

}  // namespace gpio
