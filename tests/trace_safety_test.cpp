#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <csignal>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "open_trace.hpp"
#include "vcd_trace.hpp"
#include "support/child.hpp"
#include "support/vcd.hpp"
#include "support/wav.hpp"

using namespace std::chrono_literals;
using testing_support::scratchPath;

namespace {

testing_support::RunOptions tracedProgram(const std::string& trace) {
    testing_support::RunOptions options;
    options.argv = testing_support::programCommand(SCALE_PROGRAM);
    options.env = {"GPIO_BACKEND=sim", "GPIO_TRACE=" + trace};
    options.unset = {"GPIO_CHIP"};
    return options;
}

}  // namespace

TEST(TraceSafety, AClosedStandardStreamNeverSharesTheTracesDescriptor) {
    const std::string path = scratchPath("closed.vcd");
    auto options = tracedProgram(path);
    // The layer's own notice goes to standard error: it must not land in the trace.
    options.argv.insert(options.argv.begin(), {"/bin/sh", "-c", "exec \"$@\" 2>&-", "sh"});
    options.limit = 1200ms;
    testing_support::run(options);
    const auto vcd = testing_support::readVcd(path, "pin3");
    std::remove(path.c_str());
    EXPECT_TRUE(vcd.complete);
    EXPECT_GT(vcd.edges.size(), 10u);
}

TEST(TraceSafety, AStalledThenVanishedReaderNeitherHoldsBackEdgesNorKills) {
    const std::string fifo = scratchPath("stalled.vcd");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    testing::internal::CaptureStderr();
    auto trace = gpio::openTrace(fifo, gpio::TraceFormat::Vcd);
    // Far more than a pipe holds: each call would block if it wrote itself.
    const auto start = gpio::Clock::now();
    for (int i = 0; i < 20000; ++i)
        trace->edge(3, i % 2 ? gpio::Level::High : gpio::Level::Low, start + std::chrono::microseconds(i));
    close(reader);  // gone without reading: SIGPIPE must not end this process
    trace.reset();
    const std::string err = testing::internal::GetCapturedStderr();
    std::remove(fifo.c_str());
    EXPECT_NE(err.find("its reader has gone"), std::string::npos) << err;
}

TEST(TraceSafety, KilledAtRandomMomentsEveryTraceIsValid) {
    const unsigned seed = std::random_device()();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> moment(50, 800);
    std::printf("random seed %u\n", seed);
    for (const std::string ending : {".vcd", ".wav"}) {
        const std::string path = scratchPath("killed" + ending);
        for (int i = 0; i < 20; ++i) {
            std::remove(path.c_str());
            auto options = tracedProgram(path);
            options.limit = std::chrono::milliseconds(moment(random));
            options.terminal = false;
            testing_support::run(options);
            SCOPED_TRACE("seed " + std::to_string(seed) + ", killed after " +
                         std::to_string(options.limit.count()) + " ms");
            // No file, or an empty one: killed before the trace began.
            std::error_code ec;
            if (std::filesystem::file_size(path, ec) == 0 || ec) continue;
            if (ending == ".vcd") {
                EXPECT_TRUE(testing_support::readVcd(path, "pin3").complete);
            } else {
                const auto wav = testing_support::readWav(path);
                EXPECT_TRUE(wav.valid) << wav.problem;
            }
        }
        std::remove(path.c_str());
    }
}

TEST(TraceSafety, AFullDiskEndsTheVcdAtARecordBoundary) {
    const std::string path = scratchPath("full.vcd");
    // A file size limit fails writes as a full disk does, part way through one.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4001;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStderr();
    {
        gpio::VcdTrace vcd(path);
        const auto start = gpio::Clock::now();
        for (int i = 0; i < 2000; ++i)
            vcd.edge(3, i % 2 ? gpio::Level::High : gpio::Level::Low, start + std::chrono::microseconds(i * 997));
    }
    const std::string err = testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    const std::string text = testing_support::fileContents(path);
    const bool complete = testing_support::readVcd(path, "pin3").complete;
    std::remove(path.c_str());
    ASSERT_GT(text.size(), 3000u);
    EXPECT_EQ(text.back(), '\n') << "half a record at the end";
    EXPECT_TRUE(complete) << "a time without its change at the end";
    EXPECT_NE(err.find("recording stops here"), std::string::npos) << err;
}

TEST(TraceSafety, ADeviceIsNobodysTrace) {
    const std::string link = scratchPath("null.vcd");
    ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);
    const int device = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(device, LOCK_SH), 0);  // someone else's lock on the device
    auto options = tracedProgram(link);
    options.limit = 1000ms;
    const auto result = testing_support::run(options);
    close(device);
    std::remove(link.c_str());
    EXPECT_TRUE(result.killed) << result.err;
    EXPECT_EQ(result.err.find("in use"), std::string::npos) << result.err;
}
