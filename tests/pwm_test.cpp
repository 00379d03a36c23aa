#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

#include "error.hpp"
#include "find_pwm_chip.hpp"
#include "pwm_steps.hpp"
#include "pwm_channel.hpp"
#include "pwm_lock.hpp"
#include "pwm_watcher.hpp"
#include "support/child.hpp"

namespace fs = std::filesystem;
using gpio::PwmAttribute;
using gpio::PwmState;
using testing_support::fileContents;

namespace {

// A directory shaped like /sys/class/pwm/pwmchipN with channel 0 exported,
// every file non-zero, so that each write the code makes shows.
fs::path scratchChip(const std::string& name) {
    const fs::path chip = testing_support::scratchPath(name);
    fs::remove_all(chip);
    fs::create_directories(chip / "pwm0");
    for (const char* file : {"export", "unexport", "pwm0/period", "pwm0/duty_cycle", "pwm0/enable"})
        std::ofstream(chip / file) << "7\n";
    return chip;
}

std::string channelFiles(const fs::path& chip) {
    std::string text;
    for (const char* file : {"pwm0/period", "pwm0/duty_cycle", "pwm0/enable", "unexport"})
        text += fileContents(chip / file);
    return text;
}

// How long the channel stayed enabled after its duty cycle was last set.
std::chrono::milliseconds enabledAfterSilence(const fs::path& chip) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(fs::last_write_time(chip / "pwm0/enable") -
                                                                 fs::last_write_time(chip / "pwm0/duty_cycle"));
}

// Kills this process's child process named gpio-pwm-watch, and returns its
// pid once it is dead (a zombie, not yet reaped by the code under test).
pid_t killWatcher() {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        if (std::atoi(entry.path().filename().c_str()) <= 0) continue;
        const std::string stat = fileContents(entry.path() / "stat");
        const auto close = stat.rfind(')');
        if (stat.find("(gpio-pwm-watch)") == std::string::npos || close == std::string::npos ||
            std::atoi(stat.c_str() + close + 4) != getpid())
            continue;
        const pid_t pid = std::atoi(entry.path().filename().c_str());
        kill(pid, SIGKILL);
        // Dead once it can be reaped (WNOWAIT leaves that to the code under
        // test): a zombie leader can still wait for its other threads.
        siginfo_t info{};
        for (int i = 0; i < 500; ++i) {
            info.si_pid = 0;
            if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return pid;
    }
    return 0;
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

TEST(Pwm, AChannelIsPlayedByOneProgramAndNeverTakenOver) {
    const fs::path chip = scratchChip("pwmchip");
    const std::string before = channelFiles(chip);
    EXPECT_THROW(gpio::PwmChannel{chip}, gpio::Error) << "it plays for something else";
    EXPECT_EQ(channelFiles(chip), before) << "a refused channel is not touched";

    std::ofstream(chip / "pwm0/enable") << "0\n";
    {
        gpio::PwmChannel channel(chip);
        channel.play(262);
        EXPECT_EQ(fileContents(chip / "pwm0/period"), "3816794\n");
        EXPECT_EQ(fileContents(chip / "pwm0/duty_cycle"), "1908397\n");
        EXPECT_EQ(fileContents(chip / "pwm0/enable"), "1\n");
        try {
            gpio::PwmChannel second(chip);
            ADD_FAILURE() << "a second program took the channel";
        } catch (const gpio::Error& e) {
            EXPECT_NE(std::string(e.what()).find("pid " + std::to_string(getpid())), std::string::npos) << e.what();
        }
        channel.play(5);
        channel.play(0);
        EXPECT_GE(enabledAfterSilence(chip).count(), 150) << "disabled before a 200 ms period at duty 0 had ended";
        channel.play(262);
        std::ofstream(chip / "pwm0/enable") << "0\n";
        EXPECT_THROW(channel.play(294), gpio::Error) << "disabled by something else";
    }
    // Let go, it is silenced and disabled, and not unexported: it was not ours.
    EXPECT_EQ(fileContents(chip / "pwm0/duty_cycle"), "0\n");
    EXPECT_EQ(fileContents(chip / "pwm0/enable"), "0\n");
    EXPECT_EQ(fileContents(chip / "unexport"), "7\n");
    fs::remove_all(chip);
}

TEST(Pwm, WatcherSilencesThenDisablesAndOnlyThenUnexports) {
    const fs::path chip = scratchChip("watched");
    std::ofstream(chip / "pwm0/period") << "200000000\n";
    {
        gpio::PwmLock lock(chip);
        gpio::PwmWatcher watcher(chip / "pwm0", chip / "unexport", lock.fd());
        watcher.unexportAtEnd(true);
    }  // its socket closes, as when the program dies
    EXPECT_EQ(fileContents(chip / "pwm0/duty_cycle"), "0\n");
    EXPECT_EQ(fileContents(chip / "pwm0/enable"), "0\n");
    EXPECT_EQ(fileContents(chip / "unexport"), "0\n");
    EXPECT_GE(enabledAfterSilence(chip).count(), 150) << "disabled before a 200 ms period at duty 0 had ended";

    // A channel it cannot disable stays exported, and the line says what to write.
    std::ofstream(chip / "unexport") << "7\n";
    fs::remove(chip / "pwm0/enable");
    fs::create_directory(chip / "pwm0/enable");
    testing::internal::CaptureStderr();
    {
        gpio::PwmLock lock(chip);
        gpio::PwmWatcher watcher(chip / "pwm0", chip / "unexport", lock.fd());
        watcher.unexportAtEnd(true);
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(fileContents(chip / "unexport"), "7\n");
    EXPECT_NE(said.find("write 0 to " + (chip / "pwm0/enable").string()), std::string::npos) << said;
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

TEST(Pwm, AKilledWatcherIsReplacedAndTheChannelSilencesItselfAtTheEnd) {
    const fs::path chip = scratchChip("orphan");
    std::ofstream(chip / "pwm0/enable") << "0\n";
    {
        gpio::PwmChannel channel(chip);
        channel.play(262);
        const pid_t first = killWatcher();
        ASSERT_NE(first, 0);
        testing::internal::CaptureStderr();
        channel.play(294);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("watcher process was killed; started another"), std::string::npos) << said;
        const pid_t second = killWatcher();
        EXPECT_NE(second, 0) << "no new watcher";
        EXPECT_NE(second, first);
    }  // no watcher left: the channel itself must fall silent
    EXPECT_EQ(fileContents(chip / "pwm0/duty_cycle"), "0\n");
    EXPECT_EQ(fileContents(chip / "pwm0/enable"), "0\n");
    fs::remove_all(chip);
}
