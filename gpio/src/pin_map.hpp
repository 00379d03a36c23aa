#pragma once

#include <array>
#include <optional>

namespace gpio {

struct PinMapping {
    int pin;        // wiringPi numbering
    int broadcom;   // BCM GPIO number, the kernel's line name GPIO<n>
    int header;     // the physical pin, 1 to 40, as printed on the board
};

// The classic wiringPi numbering of the 40-pin Raspberry Pi header.
inline constexpr std::array<PinMapping, 28> kPinMap{{
    {0, 17, 11},  {1, 18, 12},  {2, 27, 13},  {3, 22, 15},  {4, 23, 16},  {5, 24, 18},  {6, 25, 22},
    {7, 4, 7},   {8, 2, 3},   {9, 3, 5},   {10, 8, 24},  {11, 7, 26},  {12, 10, 19}, {13, 9, 21},
    {14, 11, 23}, {15, 14, 8}, {16, 15, 10}, {21, 5, 29},  {22, 6, 31},  {23, 13, 33}, {24, 19, 35},
    {25, 26, 37}, {26, 12, 32}, {27, 16, 36}, {28, 20, 38}, {29, 21, 40}, {30, 0, 27},  {31, 1, 28},
}};

// The Broadcom GPIO number for a pin, or nothing for a pin the header lacks.
constexpr std::optional<int> broadcomGpio(int pin) {
    for (const PinMapping& m : kPinMap)
        if (m.pin == pin) return m.broadcom;
    return std::nullopt;
}

// The header pin that carries a Broadcom GPIO, or nothing for one the header lacks.
constexpr std::optional<int> headerPin(int broadcom) {
    for (const PinMapping& m : kPinMap)
        if (m.broadcom == broadcom) return m.header;
    return std::nullopt;
}

}  // namespace gpio
