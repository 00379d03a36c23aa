#include <gtest/gtest.h>

#include "support/child.hpp"

using testing_support::RunOptions;

TEST(ProgramWithFailingGpio, StillPlaysTheScaleInOrder) {
    RunOptions options;
    options.argv = testing_support::programCommand(SCALE_WITH_FAKE_GPIO);
    options.argv.insert(options.argv.end(), {"--help", "-x", "7"});  // ignored
    options.terminal = false;
    const auto result = testing_support::run(options);

    std::string expected = "setup\ncreate 3\n";
    const int scale[] = {262, 294, 330, 349, 392, 440, 494, 525};
    for (int n = 0; n < 20; ++n) {
        const int i = n % 8;
        expected += "  " + std::to_string(i) + "\nwrite 3 " + std::to_string(scale[i]) +
                    "\ndelay 500\n";
    }
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitStatus, 0);
}
