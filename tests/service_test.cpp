#include <gtest/gtest.h>

#include <cstdio>

#include "support/child.hpp"
#include "support/vcd.hpp"

using namespace std::chrono_literals;

namespace {

testing_support::RunResult runService(const char* mode, const std::vector<std::string>& env) {
    testing_support::RunOptions options;
    options.argv = testing_support::programCommand(SCALE_SERVICE_PROGRAM);
    options.argv.push_back(mode);
    options.env = env;
    options.unset = {"GPIO_CHIP", "GPIO_TONE", "GPIO_SOUND"};
    options.limit = 30s;
    return testing_support::run(options);
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(Service, AForkedChildExitsAtOnceAndLeavesItsParentsToneAlone) {
    const std::string trace = testing_support::scratchPath("service.vcd");
    const auto result = runService("fork", {"GPIO_BACKEND=sim", "GPIO_TRACE=" + trace});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(count(result.err, "the tone belongs to process"), 1u) << "said once, however often the child tries\n"
                                                                     << result.err;
    const auto vcd = testing_support::readVcd(trace, "pin3");
    std::remove(trace.c_str());
    EXPECT_TRUE(vcd.complete) << "the child wrote into its parent's trace";
    ASSERT_FALSE(vcd.edges.empty());
    EXPECT_FALSE(vcd.edges.back().high);
}

TEST(Service, ASignalBlockedForASignalfdReachesTheProgramNotALayerThread) {
    const std::string trace = testing_support::scratchPath("signalfd.vcd");
    // The tone's and the trace's threads, and the sound's where it is built.
    std::vector<std::vector<std::string>> setups = {{"GPIO_BACKEND=sim", "GPIO_TRACE=" + trace}};
#ifdef SCALE_HAVE_SOUND
    setups.push_back({"GPIO_BACKEND=sound", "GPIO_SOUND=null", "GPIO_TRACE=" + trace});
#endif
    for (const auto& env : setups) {
        const auto result = runService("signalfd", env);
        EXPECT_EQ(result.exitStatus, 0) << env.front() << (result.killed ? ": hung" : ": ended by the signal") << "\n"
                                        << result.err;
    }
    std::remove(trace.c_str());
}
