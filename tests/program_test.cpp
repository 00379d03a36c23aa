#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "chip_backend.hpp"
#include "support/child.hpp"
#include "support/pitch.hpp"
#include "support/vcd.hpp"

using namespace std::chrono_literals;
using testing_support::RunOptions;
using testing_support::scratchPath;

namespace {

const int kScale[] = {262, 294, 330, 349, 392, 440, 494, 525};

RunOptions program(std::chrono::milliseconds limit) {
    RunOptions options;
    options.argv = testing_support::programCommand(SCALE_PROGRAM);
    options.limit = limit;
    return options;
}

bool machineHasGpioChips() { return !gpio::findGpioChips().empty(); }

// Set-up with env must fail with one plain line that says `says` and names
// the path the value names, and write nothing on standard output.
void expectOneLineFailure(const std::vector<std::string>& env, const std::string& says) {
    RunOptions options = program(5000ms);
    options.unset = {"GPIO_BACKEND", "GPIO_CHIP", "GPIO_TRACE", "GPIO_TONE"};
    options.env = env;
    const auto result = testing_support::run(options);
    EXPECT_EQ(result.exitStatus, 1) << env.back();
    EXPECT_EQ(result.out, "") << env.back();
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.err.rfind("gpio: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(says), std::string::npos) << result.err;
    for (const char* control : {"\x1b", "\x9b", "\xc2\x9b"})
        EXPECT_EQ(result.err.find(control), std::string::npos) << result.err;
    const std::string named = env.back().substr(env.back().find('=') + 1);
    if (named.find('/') != std::string::npos) {
        EXPECT_NE(result.err.find(named), std::string::npos) << result.err;
    }
}

}  // namespace

TEST(Program, PlaysTheScaleOnTheSimulatedPinAndTracesIt) {
    // A busy machine may stop the program for tens of milliseconds at any
    // moment: such a stall only ever lengthens a note, so every bound below
    // leaves room above and none below.
    const std::string trace = scratchPath("scale.vcd");
    RunOptions options = program(6000ms);  // nine notes, with room for a slow start
    options.argv.insert(options.argv.end(), {"ignored", "--arguments"});
    options.env = {"GPIO_BACKEND=sim", "GPIO_TRACE=" + trace};
    const auto result = testing_support::run(options);

    EXPECT_TRUE(result.killed) << "it must never end by itself";
    EXPECT_NE(result.err.find("simulated"), std::string::npos) << result.err;
    ASSERT_GE(result.lines.size(), 9u) << result.out;
    for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(result.lines[i].text, "  " + std::to_string(i % 8));
    // On a terminal each line shows as its note begins, not in a block.
    std::vector<std::chrono::milliseconds> apart;
    for (std::size_t i = 1; i < 9; ++i) apart.push_back(result.lines[i].at - result.lines[i - 1].at);
    std::nth_element(apart.begin(), apart.begin() + 4, apart.end());
    EXPECT_NEAR(apart[4].count(), 500, 60) << "the typical time between lines";
    EXPECT_GT(result.lines[8].at - result.lines[0].at, 3900ms);

    // Killed without warning, the trace still holds every edge up to the end.
    const auto vcd = testing_support::readVcd(trace, "pin3");
    ASSERT_TRUE(vcd.complete);
    ASSERT_GT(vcd.edges.size(), 100u);
    long long widestGap = 0;
    for (std::size_t i = 2; i < vcd.edges.size(); ++i)
        widestGap = std::max(widestGap, vcd.edges[i].us - vcd.edges[i - 1].us);
    EXPECT_LT(widestGap, 150'000) << "the tone fell silent";

    // Where each note begins is read from the trace itself.
    const auto notes = testing_support::notes(testing_support::risingEdges(vcd.edges), 100.0);
    SCOPED_TRACE("notes in the trace: " + testing_support::describe(notes));
    std::printf("notes in the trace: %s\n", testing_support::describe(notes).c_str());
    ASSERT_GE(notes.size(), 9u);
    std::vector<double> lengths;
    for (std::size_t i = 0; i < 9; ++i) {
        const double want = kScale[i % 8];
        // Each note told from its neighbours (5.8% apart at the closest),
        // on a machine that wakes the tone late again and again. The exact
        // table is the fake layer's test; the exact pitch, the benchmark's.
        EXPECT_NEAR(notes[i].hz, want, want * 0.01) << "note " << i;
        if (i < 8) {
            // Loose for one note: a stall near a change blurs where it falls.
            EXPECT_GT(notes[i].durationMs, 350.0) << "note " << i;
            EXPECT_LT(notes[i].durationMs, 750.0) << "note " << i;
            lengths.push_back(notes[i].durationMs);
        }
    }
    std::nth_element(lengths.begin(), lengths.begin() + 4, lengths.end());
    EXPECT_GT(lengths[4], 480.0) << "the typical note length";
    EXPECT_LT(lengths[4], 560.0) << "the typical note length";
    if (HasFailure()) std::printf("the trace is kept: %s\n", trace.c_str());
    else std::remove(trace.c_str());
}

TEST(Program, WithoutGpioChipsPlaysOnTheSimulatedPinByDefault) {
    if (machineHasGpioChips()) GTEST_SKIP() << "this machine has GPIO chips";
    RunOptions options = program(700ms);
    options.unset = {"GPIO_BACKEND", "GPIO_CHIP", "GPIO_TRACE"};
    const auto result = testing_support::run(options);
    EXPECT_TRUE(result.killed);
    ASSERT_GE(result.lines.size(), 1u);
    EXPECT_EQ(result.lines[0].text, "  0");
    EXPECT_NE(result.err.find("pins are simulated"), std::string::npos) << result.err;
}

TEST(Program, EndsWithOneLineWhenSetUpCannotSucceed) {
    // Files a failed set-up must leave as they were: one of them still
    // locked by its trace's writer, here this test.
    const std::string kept = scratchPath("kept.vcd");
    const std::string locked = scratchPath("locked.vcd");
    for (const std::string& path : {kept, locked}) std::ofstream(path) << "theirs\n";
    const int lock = open(locked.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    const std::string fifo = scratchPath("fifo.vcd");
    const std::string readFifo = scratchPath("fifo.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(readFifo.c_str(), 0600), 0);
    const int reader = open(readFifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const std::string socketPath = scratchPath("socket");
    const int socketFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    struct Case {
        std::vector<std::string> env;
        std::string says;
    };
    std::vector<Case> cases = {
        {{"GPIO_CHIP=/dev/null"}, "not a GPIO chip"},
        {{"GPIO_BACKEND=chip", "GPIO_CHIP=/dev/null"}, "not a GPIO chip"},
        {{"GPIO_CHIP=" + socketPath}, "not a GPIO chip"},
        {{"GPIO_CHIP=/nonexistent/gpiochip0"}, ""},
        {{"GPIO_BACKEND=bogus"}, ""},
        {{"GPIO_BACKEND=sim", "GPIO_TONE=bogus"}, "unknown tone timing"},
        {{"GPIO_TRACE=" + kept, "GPIO_BACKEND=bogus"}, "unknown backend"},
        {{"GPIO_BACKEND=sim", "GPIO_TRACE=/nonexistent/dir/trace.vcd"}, ""},
        {{"GPIO_BACKEND=sim", "GPIO_TRACE=" + scratchPath("trace.txt")}, ""},
        {{"GPIO_BACKEND=sim", "GPIO_TRACE=" + locked}, "in use by another process"},
        {{"GPIO_BACKEND=sim", "GPIO_TRACE=" + fifo}, "nothing reads this FIFO"},
        {{"GPIO_BACKEND=sim", "GPIO_TRACE=" + readFifo}, "must be a regular file"},
    };
    if (!machineHasGpioChips()) cases.push_back({{"GPIO_BACKEND=chip"}, ""});
#ifdef SCALE_HAVE_SOUND
    cases.push_back({{"GPIO_BACKEND=sound", "GPIO_SOUND=nonexistent"}, "sound device \"nonexistent\""});
#else
    cases.push_back({{"GPIO_BACKEND=sound"}, "this build has no sound"});
#endif
    cases.push_back({{"GPIO_BACKEND=sim", "GPIO_SOUND=default"}, "GPIO_BACKEND is not sound"});
    // What a value holds is shown, never obeyed by the terminal, and each escape reads one way.
    cases.push_back({{"GPIO_BACKEND=bo\ngus\x1b[2J"}, "bo\\ngus\\x1b[2J"});
    cases.push_back({{"GPIO_BACKEND=a\\nb\xc2\x9b[2J\x9b\xc3\xa9"}, "a\\\\nb\\u009b[2J\\x9bé"});
    // A trace never empties a file linked into a shared directory: it may be anyone's.
    const std::string shared = scratchPath("shared");
    const std::string victim = scratchPath("victim");
    std::ofstream(victim) << "theirs\n";
    mkdir(shared.c_str(), 01777);
    chmod(shared.c_str(), 01777);
    const std::string linked = shared + "/linked.vcd";
    ASSERT_EQ(link(victim.c_str(), linked.c_str()), 0);
    cases.push_back({{"GPIO_BACKEND=sim", "GPIO_TRACE=" + linked}, "a file with other hard links"});
    // Nor through a link of the user's own, in a directory of the user's own, that leads there.
    const std::string own = scratchPath("own");
    const std::string ownLink = own + "/trace.vcd";
    ASSERT_EQ(mkdir(own.c_str(), 0700), 0);
    ASSERT_EQ(symlink(linked.c_str(), ownLink.c_str()), 0);
    cases.push_back({{"GPIO_BACKEND=sim", "GPIO_TRACE=" + ownLink}, "a file with other hard links"});
    for (const auto& [env, says] : cases) expectOneLineFailure(env, says);
    for (const std::string& path : {kept, locked, victim})
        EXPECT_EQ(testing_support::fileContents(path), "theirs\n") << path;
    for (int fd : {lock, reader, socketFd}) close(fd);
    for (const std::string& path : {kept, locked, fifo, readFifo, socketPath, linked, ownLink, own, victim, shared})
        std::remove(path.c_str());
}

TEST(Program, RunAsRootNeverTracesThroughWhatAnotherUserPlanted) {
    if (geteuid() != 0) GTEST_SKIP() << "planting another user's files needs root";
    // A shared directory with a link and a FIFO owned by nobody.
    const std::string shared = scratchPath("planted");
    const std::string victim = scratchPath("planted_victim");
    const std::string planted = shared + "/planted.vcd";
    const std::string plantedFifo = shared + "/fifo.vcd";
    const std::string own = scratchPath("own");
    const std::string ownLink = own + "/trace.vcd";  // root's own link to the planted one
    // Anywhere in the path: another user's directory, and their link to it.
    const std::string theirs = scratchPath("theirs");
    const std::string theirLink = scratchPath("their_link");
    const std::string theirTrace = theirs + "/scale.vcd";
    const auto cleanUp = [&] {
        for (const std::string& path : {planted, plantedFifo, ownLink, own, theirTrace, theirs, theirLink, victim, shared})
            std::remove(path.c_str());
    };
    std::ofstream(victim) << "theirs\n";
    ASSERT_EQ(mkdir(shared.c_str(), 01777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    ASSERT_EQ(symlink(victim.c_str(), planted.c_str()), 0);
    ASSERT_EQ(mkdir(own.c_str(), 0700), 0);
    ASSERT_EQ(symlink(planted.c_str(), ownLink.c_str()), 0);
    ASSERT_EQ(mkfifo(plantedFifo.c_str(), 0666), 0);
    ASSERT_EQ(mkdir(theirs.c_str(), 0755), 0);
    ASSERT_EQ(symlink(victim.c_str(), theirTrace.c_str()), 0);
    ASSERT_EQ(symlink(theirs.c_str(), theirLink.c_str()), 0);
    bool given = true;
    for (const std::string& path : {planted, plantedFifo, theirTrace, theirs, theirLink})
        given = given && lchown(path.c_str(), 65534, 65534) == 0;
    if (!given) {
        const int err = errno;
        cleanUp();
        GTEST_SKIP() << "cannot give files to uid 65534 here (" << std::strerror(err) << ")";
    }
    const int reader = open(plantedFifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    expectOneLineFailure({"GPIO_BACKEND=sim", "GPIO_TRACE=" + planted}, "symbolic link another user made");
    expectOneLineFailure({"GPIO_BACKEND=sim", "GPIO_TRACE=" + ownLink}, "symbolic link another user made");
    expectOneLineFailure({"GPIO_BACKEND=sim", "GPIO_TRACE=" + plantedFifo}, "FIFO another user made");
    expectOneLineFailure({"GPIO_BACKEND=sim", "GPIO_TRACE=" + theirTrace}, theirs + " is a directory another user owns");
    expectOneLineFailure({"GPIO_BACKEND=sim", "GPIO_TRACE=" + theirLink + "/scale.vcd"},
                         theirLink + " is a symbolic link another user made");
    EXPECT_EQ(testing_support::fileContents(victim), "theirs\n");
    close(reader);
    cleanUp();
}
