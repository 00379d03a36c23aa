#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "chip_backend.hpp"
#include "support/child.hpp"

TEST(ChipDiscovery, ChipsComeInNumberOrderWhateverTheirNames) {
    const std::filesystem::path dev = testing_support::scratchPath("dev");
    std::filesystem::create_directories(dev);
    for (const char* name : {"gpiochip10", "gpiochip2", "gpiochip99999999999999999999", "gpiochip0",
                             "gpiochip", "gpiochipx", "gpiochip1\xff", "ttyS0"})
        std::ofstream(dev / name);
    const std::vector<std::string> want = {dev / "gpiochip0", dev / "gpiochip2", dev / "gpiochip10",
                                           dev / "gpiochip99999999999999999999"};
    EXPECT_EQ(gpio::findGpioChips(dev), want);
    std::filesystem::remove_all(dev);
}
