#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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
        // test), or is gone where SIGCHLD is ignored: a zombie leader can
        // still wait for its other threads.
        siginfo_t info{};
        for (int i = 0; i < 500; ++i) {
            info.si_pid = 0;
            const int waited = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
            if ((waited == 0 && info.si_pid == pid) || (waited < 0 && errno == ECHILD)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return pid;
    }
    return 0;
}

// The chip the hook below plays the kernel for: a watcher's hook takes no
// arguments.
fs::path hookChip;

// Runs in each watcher before it says it is ready. It plays the kernel's part
// in an export (the channel's files appear; set-up waits for them), and once
// the test asks (a file "hold"), notes the duty cycle the program left and
// holds the watcher until its program is gone.
void beforeReady() {
    if (!fs::exists(hookChip / "pwm0/enable")) std::ofstream(hookChip / "pwm0/enable") << "0\n";
    if (!fs::exists(hookChip / "hold")) return;
    fs::copy_file(hookChip / "pwm0/duty_cycle", hookChip / "duty_when_started");
    const pid_t program = getppid();
    std::ofstream(hookChip / "held");
    while (getppid() == program) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// A chip whose channel 0 is not exported: the program exports it, through the hook.
fs::path unexportedChip(const std::string& name) {
    hookChip = scratchChip(name);
    fs::remove(hookChip / "pwm0/enable");
    return hookChip;
}

bool waitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 3000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

}  // namespace

TEST(Pwm, EveryStepKeepsTheDutyWithinThePeriodAndEndsOnTheTone) {
    PwmState state;
    for (int hz : {262, 5000, 5000, 262, 0, 0, 525, 1, 494, -3, 330}) {
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
        EXPECT_TRUE(state.enabled) << "a silent note disables nothing, so that it waits for nothing";
        EXPECT_TRUE(gpio::toneSteps(state, hz).empty()) << "the same again changes nothing";
    }
    const auto stop = gpio::stopSteps(state);
    ASSERT_EQ(stop.size(), 2u);
    EXPECT_EQ(stop[0].attribute, PwmAttribute::DutyCycle) << "low before it stops";
    EXPECT_FALSE(gpio::applied(state, stop).enabled);
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
        EXPECT_EQ(fileContents(chip / "pwm0/duty_cycle"), "0\n");
        EXPECT_EQ(fileContents(chip / "pwm0/enable"), "1\n") << "disabled, so a note call waited a period";
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

TEST(Pwm, AKilledWatcherIsReplacedAndTheChannelStopsItselfAtTheEnd) {
    // Found dead however the program treats its children.
    const auto oldHandler = std::signal(SIGCHLD, SIG_IGN);
    const fs::path chip = unexportedChip("orphan");
    {
        gpio::PwmChannel channel(chip, beforeReady);
        channel.play(262);
        const pid_t first = killWatcher();
        ASSERT_NE(first, 0);
        testing::internal::CaptureStderr();
        channel.play(5);  // a 200 ms period
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("watcher process was killed; started another"), std::string::npos) << said;
        const pid_t second = killWatcher();
        EXPECT_NE(second, 0) << "no new watcher";
        EXPECT_NE(second, first);
    }  // no watcher left: the channel itself must stop, and unexport what it exported
    std::signal(SIGCHLD, oldHandler);
    EXPECT_EQ(fileContents(chip / "pwm0/duty_cycle"), "0\n");
    EXPECT_EQ(fileContents(chip / "pwm0/enable"), "0\n");
    EXPECT_EQ(fileContents(chip / "unexport"), "0\n");
    EXPECT_GE(enabledAfterSilence(chip).count(), 150) << "disabled before a 200 ms period at duty 0 had ended";
    fs::remove_all(chip);
}

TEST(Pwm, AProgramKilledBeforeItsNewWatcherIsReadyLeavesNothingPlaying) {
    const fs::path chip = unexportedChip("window");
    const pid_t program = fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        gpio::PwmChannel channel(chip, beforeReady);
        channel.play(262);
        killWatcher();
        std::ofstream(chip / "hold");
        channel.play(294);  // its new watcher is held before its word; the test kills this process meanwhile
        _exit(0);
    }
    const bool held = waitFor([&] { return fs::exists(chip / "held"); });
    kill(program, SIGKILL);
    waitpid(program, nullptr, 0);
    ASSERT_TRUE(held) << "no watcher was started again";
    EXPECT_TRUE(waitFor([&] { return fileContents(chip / "unexport") == "0\n"; }))
        << "the new watcher did not unexport the channel that the program exported";
    EXPECT_EQ(fileContents(chip / "duty_when_started"), "0\n") << "not silenced before the new watcher started";
    EXPECT_EQ(fileContents(chip / "pwm0/duty_cycle"), "0\n");
    EXPECT_EQ(fileContents(chip / "pwm0/enable"), "0\n");
    fs::remove_all(chip);
}

TEST(Pwm, AChildOfTheProgramNeitherHoldsItsEndNorHidesItsDeath) {
    for (const bool killed : {false, true}) {
        const fs::path chip = unexportedChip(killed ? "forked_killed" : "forked_ended");
        const pid_t program = fork();
        ASSERT_GE(program, 0);
        if (program == 0) {
            setpgid(0, 0);  // with the child below, ended together by the test
            {
                gpio::PwmChannel channel(chip, beforeReady);
                channel.play(262);
                if (fork() == 0) {
                    alarm(60);
                    pause();  // holds a copy of every descriptor, the watcher's socket too
                    _exit(0);
                }
                std::ofstream(chip / "playing");
                if (killed) pause();
            }
            _exit(0);
        }
        const bool playing = waitFor([&] { return fs::exists(chip / "playing"); });
        if (killed) kill(program, SIGKILL);
        bool reaped = false;
        const bool ended = waitFor([&] { return reaped = reaped || waitpid(program, nullptr, WNOHANG) == program; });
        const bool stopped = waitFor([&] { return fileContents(chip / "unexport") == "0\n"; });
        kill(-program, SIGKILL);  // only now: the child's copy of the socket is gone with it
        if (!ended) waitpid(program, nullptr, 0);
        EXPECT_TRUE(playing);
        EXPECT_TRUE(ended) << "the program's end waited for its child";
        EXPECT_TRUE(stopped) << (killed ? "killed" : "ended") << ", the program's channel was left exported";
        EXPECT_EQ(fileContents(chip / "pwm0/duty_cycle"), "0\n");
        EXPECT_EQ(fileContents(chip / "pwm0/enable"), "0\n");
        fs::remove_all(chip);
    }
}
