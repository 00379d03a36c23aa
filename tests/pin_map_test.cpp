#include <gtest/gtest.h>

#include <set>

#include "pin_map.hpp"

using gpio::broadcomGpio;

TEST(PinMap, HeaderPinsMapToTheirBroadcomLines) {
    EXPECT_EQ(broadcomGpio(3), 22);  // the tone pin: header pin 15
    EXPECT_EQ(broadcomGpio(0), 17);
    EXPECT_EQ(broadcomGpio(7), 4);
    EXPECT_EQ(broadcomGpio(16), 15);
    EXPECT_EQ(broadcomGpio(21), 5);
    EXPECT_EQ(broadcomGpio(30), 0);
    EXPECT_EQ(broadcomGpio(31), 1);

    std::set<int> lines;
    for (const auto& m : gpio::kPinMap) lines.insert(m.broadcom);
    EXPECT_EQ(lines.size(), gpio::kPinMap.size()) << "two pins share a line";
}

TEST(PinMap, NumbersOffTheHeaderAreBadPins) {
    for (int pin : {-1, 17, 18, 19, 20, 32, 64}) EXPECT_FALSE(broadcomGpio(pin)) << pin;
}
