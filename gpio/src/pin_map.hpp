#pragma once

#include <array>
#include <optional>

namespace gpio {

struct PinMapping {
    int pin;        // wiringPi numbering
    int broadcom;   // BCM GPIO number, the kernel's line name GPIO<n>
};

// The classic wiringPi numbering of the 40-pin Raspberry Pi header.
inline constexpr std::array<PinMapping, 28> kPinMap{{
    {0, 17},  {1, 18},  {2, 27},  {3, 22},  {4, 23},  {5, 24},  {6, 25},
    {7, 4},   {8, 2},   {9, 3},   {10, 8},  {11, 7},  {12, 10}, {13, 9},
    {14, 11}, {15, 14}, {16, 15}, {21, 5},  {22, 6},  {23, 13}, {24, 19},
    {25, 26}, {26, 12}, {27, 16}, {28, 20}, {29, 21}, {30, 0},  {31, 1},
}};

// The Broadcom GPIO number for a pin, or nothing for a pin the header lacks.
constexpr std::optional<int> broadcomGpio(int pin) {
    for (const PinMapping& m : kPinMap)
        if (m.pin == pin) return m.broadcom;
    return std::nullopt;
}

}  // namespace gpio
