#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "find_pwm_chip.hpp"
#include "pwm_steps.hpp"
#include "pwm_tone.hpp"
#include "pwm_watcher.hpp"
#include "support/child.hpp"

namespace fs = std::filesystem;
using gpio::PwmAttribute;
using gpio::PwmState;
using testing_support::fileContents;

namespace {

// A directory shaped like /sys/class/pwm/pwmchipN with channel 0 exported.
fs::path scratchChip(const std::string& name) {
    const fs::path chip = testing_support::scratchPath(name);
    fs::remove_all(chip);
    fs::create_directories(chip / "pwm0");
    for (const char* file : {"export", "unexport", "pwm0/period", "pwm0/duty_cycle"}) std::ofstream(chip / file) << "0\n";
    std::ofstream(chip / "pwm0/enable") << "1\n";  // left playing by someone
    return chip;
}

}  // namespace

TEST(Pwm, EveryStepKeepsTheDutyWithinThePeriodAndEndsOnTheTone) {
    PwmState state;
    for (int hz : {262, 5000, 5000, 262, 0, 0, 525, 1, 494, -3}) {
        const auto steps = gpio::toneSteps(state, hz);
        for (const auto& step : steps) {
            state = gpio::applied(state, {step});
            EXPECT_LE(state.dutyNs, state.periodNs) << "going to " << hz << " Hz";
        }
        if (hz > 0) {
            EXPECT_EQ(state.periodNs, gpio::periodNsOf(hz));
            EXPECT_EQ(state.dutyNs, state.periodNs / 2);
        } else {
            EXPECT_EQ(state.dutyNs, 0) << "the line must be low before the PWM stops";
        }
        EXPECT_EQ(state.enabled, hz > 0);
        EXPECT_TRUE(gpio::toneSteps(state, hz).empty()) << "the same again changes nothing";
    }
    EXPECT_EQ(gpio::periodNsOf(262), 3816794);
}

TEST(Pwm, ToneThroughSysfsFilesIsSilencedWhenItsProcessLetsGo) {
    const fs::path chip = scratchChip("pwmchip");
    {
        gpio::PwmTone tone(chip);
        EXPECT_EQ(fileContents(chip / "pwm0/enable"), "0\n") << "a new tone starts silent";
        tone.setFrequency(262);
        EXPECT_EQ(fileContents(chip / "pwm0/period"), "3816794\n");
        EXPECT_EQ(fileContents(chip / "pwm0/duty_cycle"), "1908397\n");
        EXPECT_EQ(fileContents(chip / "pwm0/enable"), "1\n");
    }
    EXPECT_EQ(fileContents(chip / "pwm0/enable"), "0\n");

    // The watcher alone, as when the program dies: its pipe closes.
    std::ofstream(chip / "pwm0/enable") << "1\n";
    { gpio::PwmWatcher watcher(chip / "pwm0", chip / "unexport"); }
    EXPECT_EQ(fileContents(chip / "pwm0/duty_cycle"), "0\n");
    EXPECT_EQ(fileContents(chip / "pwm0/enable"), "0\n");
    EXPECT_EQ(fileContents(chip / "unexport"), "0\n");
    fs::remove_all(chip);
}

TEST(Pwm, ChipIsFoundByItsDeviceName) {
    const fs::path pwmClass = testing_support::scratchPath("pwm_class");
    fs::remove_all(pwmClass);
    fs::create_directories(pwmClass / "pwmchip0");
    fs::create_directories(pwmClass / "pwmchip3");
    fs::create_symlink("../../devices/platform/soc/3f20c000.pwm", pwmClass / "pwmchip0/device");
    fs::create_symlink("../../devices/platform/pwm_gpio22", pwmClass / "pwmchip3/device");
    EXPECT_EQ(gpio::findPwmChip("pwm_gpio22", pwmClass), pwmClass / "pwmchip3");
    EXPECT_EQ(gpio::findPwmChip("scale", pwmClass), std::nullopt);
    fs::remove_all(pwmClass);
}
