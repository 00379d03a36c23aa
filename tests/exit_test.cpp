#include <gtest/gtest.h>

#include <cstdio>

#include "support/child.hpp"
#include "support/vcd.hpp"

TEST(Exit, ToneCallsDuringExitAreSafeAndThePinEndsLow) {
    const std::string trace = testing_support::scratchPath("exit.vcd");
    for (int run = 0; run < 30; ++run) {
        const bool fromThread = run % 2 == 1;
        testing_support::RunOptions options;
        options.argv = testing_support::programCommand(SCALE_EXIT_PROGRAM);
        options.env = {"GPIO_BACKEND=sim"};
        options.unset = {"GPIO_CHIP", "GPIO_TRACE"};
        if (fromThread) {
            options.argv.push_back("thread");
        } else {
            options.env.push_back("GPIO_TRACE=" + trace);
        }
        const auto result = testing_support::run(options);
        const char* mode = fromThread ? "a thread writing" : "an atexit handler";
        ASSERT_EQ(result.exitStatus, 0) << mode << "\n" << result.err;
        EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("runtime error"), std::string::npos) << result.err;
        if (!fromThread) {
            const auto vcd = testing_support::readVcd(trace, "pin3");
            ASSERT_TRUE(vcd.complete);
            ASSERT_GT(vcd.edges.size(), 2u);
            EXPECT_FALSE(vcd.edges.back().high) << "the pin must end low when main returns";
        }
    }
    std::remove(trace.c_str());
}
