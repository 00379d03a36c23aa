#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "support/child.hpp"
#include "support/pitch.hpp"
#include "support/wav.hpp"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

bool installed(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// 16-bit mono samples at 48 kHz, as the recorder writes them.
testing_support::Wav rawSound(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    testing_support::Wav wav;
    wav.valid = true;
    wav.sampleRate = 48000;
    wav.samples.resize(bytes.size() / 2);
    std::copy_n(bytes.data(), wav.samples.size() * 2, reinterpret_cast<char*>(wav.samples.data()));
    return wav;
}

}  // namespace

// A desktop's sound server, headless, with a null sink: the program plays
// through ALSA's default device, routed to it, and the sink's monitor is
// recorded and listened to.
TEST(Sound, TheScaleIsHeardThroughASoundServer) {
    if (!installed("pulseaudio") || !installed("parec")) GTEST_SKIP() << "needs pulseaudio and pulseaudio-utils";
    const fs::path dir = testing_support::scratchPath("pulse");
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string server = "unix:" + (dir / "native").string();
    const std::vector<std::string> env = {"HOME=" + dir.string(), "XDG_RUNTIME_DIR=" + dir.string(),
                                          "PULSE_RUNTIME_PATH=" + dir.string(), "PULSE_SERVER=" + server};
    testing_support::Background pulse(
        {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--log-target=stderr",
         "--log-level=error", "--load=module-null-sink sink_name=scale rate=48000 channels=1",
         "--load=module-native-protocol-unix auth-anonymous=1 socket=" + (dir / "native").string()},
        env, "/dev/null");
    for (int waited = 0; waited < 100 && !fs::exists(dir / "native"); ++waited) std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(fs::exists(dir / "native")) << "the sound server did not start";

    const std::string recording = (dir / "heard.raw").string();
    testing_support::Background recorder(
        {"parec", "--device=scale.monitor", "--format=s16le", "--rate=48000", "--channels=1", "--latency-msec=20"},
        env, recording);
    // A recorder starts late: first some silence in the file, so that
    // whatever comes after it is heard, and nothing sounds before set-up.
    const auto recorded = [&] {
        std::error_code ec;
        const auto size = fs::file_size(recording, ec);
        return ec ? 0 : size;
    };
    for (int waited = 0; waited < 200 && recorded() < 19200; ++waited) std::this_thread::sleep_for(50ms);
    ASSERT_GE(recorded(), 19200u) << "the recorder did not start";

    testing_support::RunOptions options;
    options.argv = testing_support::programCommand(SCALE_PROGRAM);
    options.env = env;
    options.env.push_back("GPIO_BACKEND=sound");
    options.unset = {"GPIO_CHIP", "GPIO_TRACE", "GPIO_SOUND"};
    options.limit = 6000ms;
    const auto result = testing_support::run(options);
    std::this_thread::sleep_for(300ms);
    recorder.stop();
    pulse.stop();
    EXPECT_TRUE(result.killed) << result.err;
    EXPECT_NE(result.err.find("heard on sound device \"default\""), std::string::npos) << result.err;

    const auto heard = rawSound(recording);
    const auto crossings = testing_support::upwardCrossings(heard, 0, heard.samples.size());
    ASSERT_FALSE(crossings.empty()) << "nothing was heard";
    const auto notes = testing_support::notes(crossings, 100.0);
    SCOPED_TRACE("notes heard: " + testing_support::describe(notes));
    std::printf("notes heard: %s\n", testing_support::describe(notes).c_str());
    // Before the first note, silence.
    const auto before = heard.samples.begin() + static_cast<long>(crossings.front() * 48 / 1000 * 9 / 10);
    int loudest = 0;
    for (auto sample = heard.samples.begin(); sample < before; ++sample) loudest = std::max(loudest, std::abs(*sample));
    EXPECT_LT(loudest, 300) << "a sound before the first note";
    const int scale[] = {262, 294, 330, 349, 392, 440, 494, 525};
    ASSERT_GE(notes.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_NEAR(notes[i].hz, scale[i % 8], scale[i % 8] * 0.003) << "note " << i;
    fs::remove_all(dir);
}
