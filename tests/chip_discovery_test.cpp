#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "chip_backend.hpp"
#include "error.hpp"
#include "gpio_chip.hpp"
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

TEST(ChipDiscovery, ADeviceOfAnotherKindIsNamedAndNeverOpened) {
    const std::string node = testing_support::scratchPath("zero");
    std::remove(node.c_str());
    if (mknod(node.c_str(), S_IFCHR | 0600, makedev(1, 5)) != 0)
        GTEST_SKIP() << "cannot make a device node here (" << std::strerror(errno) << ")";
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, node.c_str(), IN_OPEN), 0);
    try {
        gpio::GpioChip chip(node);
        ADD_FAILURE() << "taken for a GPIO chip";
    } catch (const gpio::Error& e) {
        EXPECT_NE(std::string(e.what()).find("not a GPIO chip but a mem device"), std::string::npos) << e.what();
    }
    char events[256];
    EXPECT_LT(read(watch, events, sizeof events), 0) << "it was opened";
    close(watch);
    std::remove(node.c_str());
}
