#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <softTone.h>
#include <wiringPi.h>

// One story, since the calls share the process's one GPIO layer.
TEST(GpioApi, FromSetUpToToneWithEveryMisuseAnswered) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(softToneCreate(3), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "gpio: pin 3: GPIO is not set up; call wiringPiSetup first\n");

    setenv("GPIO_BACKEND", "sim", 1);
    unsetenv("GPIO_TRACE");
    testing::internal::CaptureStderr();
    EXPECT_EQ(wiringPiSetup(), 0);
    EXPECT_EQ(wiringPiSetup(), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("simulated"), std::string::npos) << err;

    for (int pin : {-1, 17, 20, 32, 1000}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(softToneCreate(pin), -1) << pin;
        err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("gpio: pin " + std::to_string(pin) + ": no such pin; ", 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }

    EXPECT_EQ(softToneCreate(3), 0);
    EXPECT_EQ(softToneCreate(3), 0);
    for (int hz : {262, 0, -1, 1'000'000, 525}) softToneWrite(3, hz);
    softToneWrite(4, 440);   // no generator there: ignored
    softToneWrite(99, 440);  // no such pin: ignored
}
