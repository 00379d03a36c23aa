#pragma once

// The scale the program plays, C4 to C5, in whole hertz as it asks for them.
inline constexpr int kScaleHz[] = {262, 294, 330, 349, 392, 440, 494, 525};
