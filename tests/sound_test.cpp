#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sys/resource.h>
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

// A desktop's sound server, headless, with a null sink, in a scratch
// directory: what plays through ALSA's default device with env is routed to
// it, and the sink's monitor can be recorded. Debian's libasound2-plugins
// make `default` its pulse plugin, which speaks to the server PULSE_SERVER
// names: PulseAudio itself, or PipeWire's PulseAudio service with its
// session manager (and the session bus that one needs), as a desktop has them.
class SoundServer {
public:
    enum class Kind { PulseAudio, PipeWire };

    SoundServer(Kind kind, const fs::path& dir)
        : kind_(kind),
          dir_(dir),
          env_({"HOME=" + dir.string(), "XDG_RUNTIME_DIR=" + dir.string(), "PULSE_RUNTIME_PATH=" + (dir / "pulse").string(),
                "PULSE_SERVER=unix:" + (dir / "pulse/native").string(),
                "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (dir / "bus").string()}) {
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "pulse");
    }
    ~SoundServer() {
        stop();
        fs::remove_all(dir_);
    }
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // A file in its directory.
    std::string file(const std::string& name) const { return (dir_ / name).string(); }

    const std::vector<std::string>& env() const { return env_; }

    // Starts the server, and a recorder of its sink into file once it has
    // recorded a little silence (a recorder starts late). False when either
    // does not start.
    bool start(const std::string& file) {
        started_ = std::chrono::steady_clock::now();
        // A server killed last time may have left its sockets: each is waited for below.
        for (const char* socket : {"bus", "pipewire-0", "pulse/native"}) fs::remove(dir_ / socket);
        if (kind_ == Kind::PulseAudio) {
            background({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                        "--log-target=stderr", "--log-level=error",
                        "--load=module-null-sink sink_name=scale rate=48000 channels=1",
                        "--load=module-native-protocol-unix auth-anonymous=1 socket=" +
                            (dir_ / "pulse/native").string()});
        } else {
            background({"dbus-daemon", "--session", "--nofork", "--nopidfile",
                        "--address=unix:path=" + (dir_ / "bus").string()});
            if (!waitFor(dir_ / "bus")) return false;
            background({"pipewire"});
            // Both leave at once when PipeWire is not up yet.
            if (!waitFor(dir_ / "pipewire-0")) return false;
            background({"wireplumber"});
            background({"pipewire-pulse"});
        }
        if (!waitFor(dir_ / "pulse/native")) return false;
        if (kind_ == Kind::PipeWire && pactl({"load-module", "module-null-sink", "sink_name=scale", "rate=48000", "channels=1"}).exitStatus != 0)
            return false;
        // A stream goes where the server's default points when it is made;
        // PipeWire's session manager moves that to a new sink when it gets to it.
        if (!waitUntil([&] { return pactl({"get-default-sink"}).out == "scale\n"; })) return false;
        recorder_ = std::make_unique<testing_support::Background>(
            std::vector<std::string>{"parec", "--device=scale.monitor", "--format=s16le", "--rate=48000",
                                     "--channels=1", "--latency-msec=20"},
            env_, file);
        const auto recorded = [&] {
            std::error_code ec;
            const auto size = fs::file_size(file, ec);
            return ec ? 0 : size;
        };
        if (!waitUntil([&] { return recorded() >= 19200; })) return false;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started_;
        if (took > kStartGuard / 2)
            std::printf("the sound server took %.1f s to start, over half of the %lld s it is given\n", took.count(),
                        static_cast<long long>(kStartGuard.count()));
        return true;
    }

    void stop() {
        recorder_.reset();
        while (!servers_.empty()) servers_.pop_back();
    }

private:
    testing_support::RunResult pactl(const std::vector<std::string>& args) const {
        testing_support::RunOptions options;
        options.argv = {"pactl"};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.env = env_;
        options.terminal = false;
        return testing_support::run(options);
    }

    bool waitFor(const fs::path& socket) const {
        return waitUntil([&] { return fs::exists(socket); });
    }

    // What the server says decides (its sockets, its default sink, its sink
    // recorded); the guard only ends one that never comes. PipeWire took 0.3 s
    // under the stress runner with both cores busy here, and had not linked
    // its sink after 10 s on a slower machine so loaded.
    static constexpr auto kStartGuard = 60s;
    bool waitUntil(const std::function<bool()>& ready) const {
        while (!ready()) {
            if (std::chrono::steady_clock::now() - started_ > kStartGuard) return false;
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }

    void background(const std::vector<std::string>& argv) {
        servers_.push_back(std::make_unique<testing_support::Background>(argv, env_, "/dev/null"));
    }

    Kind kind_;
    fs::path dir_;
    std::vector<std::string> env_;
    std::vector<std::unique_ptr<testing_support::Background>> servers_;  // stopped last first
    std::unique_ptr<testing_support::Background> recorder_;
    std::chrono::steady_clock::time_point started_;
};

testing_support::RunOptions soundProgram(const SoundServer& server, std::chrono::milliseconds limit) {
    testing_support::RunOptions options;
    options.argv = testing_support::programCommand(SCALE_PROGRAM);
    options.env = server.env();
    options.env.push_back("GPIO_BACKEND=sound");
    options.unset = {"GPIO_CHIP", "GPIO_TRACE", "GPIO_SOUND"};
    options.limit = limit;
    return options;
}

// What the server of that kind needs and this machine lacks, empty when nothing.
std::string missing(SoundServer::Kind kind) {
    std::vector<std::string> programs = {"pactl", "parec"};
    if (kind == SoundServer::Kind::PipeWire) {
        programs.insert(programs.end(), {"pipewire", "pipewire-pulse", "wireplumber", "dbus-daemon"});
    } else {
        programs.push_back("pulseaudio");
    }
    std::string lacking;
    for (const std::string& program : programs)
        if (!installed(program)) lacking += " " + program;
    return lacking.empty() ? "" : "needs" + lacking;
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Silence before the first note, then at least nine notes in the scale's
// order, each in tune.
void expectTheScaleHeard(SoundServer::Kind kind) {
    SoundServer server(kind, testing_support::scratchPath("heard"));
    const std::string recording = server.file("heard.raw");
    ASSERT_TRUE(server.start(recording)) << "the sound server or its recorder did not start";
    const auto result = testing_support::run(soundProgram(server, 6000ms));
    std::this_thread::sleep_for(300ms);
    server.stop();
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
}

// Desktops restart their sound server (a crash, a log-out, a device switch):
// the program says so, and is heard again once a new one is up.
void expectHeardAgainOnceTheServerComesBack(SoundServer::Kind kind) {
    SoundServer server(kind, testing_support::scratchPath("again"));
    ASSERT_TRUE(server.start(server.file("before.raw"))) << "the sound server or its recorder did not start";
    const std::string after = server.file("after.raw");
    std::atomic<bool> restarted{false}, heardAfter{false}, ended{false};
    std::thread restart([&] {
        std::this_thread::sleep_for(2000ms);
        server.stop();
        std::this_thread::sleep_for(1000ms);
        restarted = server.start(after);
        // Four seconds heard after it, however long the new server took to come.
        const auto heardEnough = [&] {
            std::error_code ec;
            const auto size = fs::file_size(after, ec);
            return !ec && size >= 19200 + 4 * 96000;
        };
        while (restarted && !ended && !heardEnough()) std::this_thread::sleep_for(50ms);
        heardAfter = true;
    });
    auto options = soundProgram(server, 120s);
    options.done = [&] { return heardAfter.load(); };
    const auto result = testing_support::run(options);
    ended = true;
    restart.join();
    server.stop();
    ASSERT_TRUE(restarted) << "the second sound server did not start";
    EXPECT_EQ(count(result.err, "the sound stopped"), 1u) << result.err;
    EXPECT_EQ(count(result.err, "the sound is back"), 1u) << result.err;

    const auto heard = rawSound(after);
    const auto notes = testing_support::notes(testing_support::upwardCrossings(heard, 0, heard.samples.size()), 100.0);
    SCOPED_TRACE("notes heard after the restart: " + testing_support::describe(notes));
    const std::vector<int> scale = {262, 294, 330, 349, 392, 440, 494, 525};
    ASSERT_GE(notes.size(), 4u) << "not heard again";
    // On from wherever it was, in the scale's order.
    const auto nearest = [&](double hz) {
        return std::min_element(scale.begin(), scale.end(),
                                [&](int a, int b) { return std::abs(a - hz) < std::abs(b - hz); }) -
               scale.begin();
    };
    const auto first = nearest(notes[1].hz);
    for (std::size_t i = 1; i < notes.size() - 1; ++i) {
        const int want = scale[(first + static_cast<long>(i) - 1) % 8];
        EXPECT_NEAR(notes[i].hz, want, want * 0.003) << "note " << i;
    }
}

}  // namespace

TEST(Sound, TheScaleIsHeardThroughASoundServer) {
    const std::string lacking = missing(SoundServer::Kind::PulseAudio);
    if (!lacking.empty()) GTEST_SKIP() << lacking;
    expectTheScaleHeard(SoundServer::Kind::PulseAudio);
}

TEST(Sound, PipeWireHearsTheScaleInOrderAndInTune) {
    const std::string lacking = missing(SoundServer::Kind::PipeWire);
    if (!lacking.empty()) GTEST_SKIP() << lacking;
    expectTheScaleHeard(SoundServer::Kind::PipeWire);
}

TEST(Sound, IsHeardAgainOnceTheSoundServerComesBack) {
    const std::string lacking = missing(SoundServer::Kind::PulseAudio);
    if (!lacking.empty()) GTEST_SKIP() << lacking;
    expectHeardAgainOnceTheServerComesBack(SoundServer::Kind::PulseAudio);
}

TEST(Sound, PipeWireRestartedHearsItAgain) {
    const std::string lacking = missing(SoundServer::Kind::PipeWire);
    if (!lacking.empty()) GTEST_SKIP() << lacking;
    expectHeardAgainOnceTheServerComesBack(SoundServer::Kind::PipeWire);
}

// A device that opens but cannot play (ALSA's file plugin writing to a full
// disk): stopped, said once, and never said to be back.
TEST(Sound, ADeviceThatOpensButCannotPlayIsSaidToHaveStoppedOnce) {
    testing_support::RunOptions options;
    options.argv = testing_support::programCommand(SCALE_PROGRAM);
    options.env = {"GPIO_BACKEND=sound", "GPIO_SOUND=file:FILE=/dev/full,FORMAT=raw"};
    options.unset = {"GPIO_CHIP", "GPIO_TRACE"};
    options.limit = 3500ms;  // three reopenings
    const auto result = testing_support::run(options);
    EXPECT_TRUE(result.killed) << result.err;
    EXPECT_EQ(count(result.err, "the sound stopped"), 1u) << result.err;
    EXPECT_EQ(count(result.err, "the sound is back"), 0u) << result.err;
}

// Stalled longer than its queue lasts, the program doubles the queue up to
// its longest, each step said once and in order, then says once that it ran
// dry at the longest.
TEST(Sound, AStalledProgramGrowsItsQueueSayingEachStepOnce) {
    const std::string lacking = missing(SoundServer::Kind::PulseAudio);
    if (!lacking.empty()) GTEST_SKIP() << lacking;
    SoundServer server(SoundServer::Kind::PulseAudio, testing_support::scratchPath("stalled"));
    ASSERT_TRUE(server.start(server.file("heard.raw"))) << "the sound server or its recorder did not start";
    auto options = soundProgram(server, 8000ms);
    // Stalls of 300 ms, longer than the longest queue (160 ms), about every 800 ms.
    options.argv.insert(options.argv.begin(), {SCALE_STRESS_RUN, "--stall-ms", "300", "--every-ms", "800"});
    const auto result = testing_support::run(options);
    server.stop();
    std::size_t at = 0;
    for (const char* said : {"its queue is now 40 ms", "its queue is now 80 ms", "its queue is now 160 ms",
                             "ran dry (an underrun) and resumed"}) {
        EXPECT_EQ(count(result.err, said), 1u) << said << " in " << result.err;
        const auto found = result.err.find(said);
        EXPECT_TRUE(found != std::string::npos && found >= at) << said << " out of order in " << result.err;
        if (found != std::string::npos) at = found;
    }
}

// A device that never makes the thread wait (ALSA's null, here behind its
// file plugin) is played at the sound's own rate: a thread writing as fast as
// it can takes a whole core, this one a few percent (up to a ninth under
// ThreadSanitizer, so the bound is a third), and the file gets the scale in
// order and no more sound than the time it played.
TEST(Sound, ADeviceThatNeverWaitsIsPlayedAtTheSoundsOwnRate) {
    const std::string played = testing_support::scratchPath("played.raw");
    testing_support::RunOptions options;
    options.argv = testing_support::programCommand(SCALE_PROGRAM);
    options.env = {"GPIO_BACKEND=sound", "GPIO_SOUND=file:FILE=" + played + ",FORMAT=raw"};
    options.unset = {"GPIO_CHIP", "GPIO_TRACE"};
    options.limit = 3000ms;
    const auto cpuSeconds = [] {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    const double cpuBefore = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const auto result = testing_support::run(options);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double cpu = cpuSeconds() - cpuBefore;
    const auto heard = rawSound(played);
    std::remove(played.c_str());
    EXPECT_TRUE(result.killed) << result.err;
    std::printf("%.3f s of CPU in %.3f s, %.3f s of sound\n", cpu, elapsed.count(), heard.samples.size() / 48000.0);
    EXPECT_LT(cpu, elapsed.count() / 3);
    // Its longest queue and the silence it starts with: well under half a second.
    EXPECT_LT(heard.samples.size() / 48000.0, elapsed.count() + 0.5) << "written ahead of the clock";
    const auto notes = testing_support::notes(testing_support::upwardCrossings(heard, 0, heard.samples.size()), 100.0);
    SCOPED_TRACE("notes heard: " + testing_support::describe(notes));
    const int scale[] = {262, 294, 330, 349};
    ASSERT_GE(notes.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(notes[i].hz, scale[i], scale[i] * 0.003) << "note " << i;
}
