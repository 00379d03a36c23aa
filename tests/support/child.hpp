#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

struct Line {
    std::chrono::milliseconds at;  // since the start
    std::string text;              // without the line ending
};

struct RunResult {
    std::string out;           // standard output, as read
    std::vector<Line> lines;   // standard output split into lines, with arrival times
    std::string err;           // standard error
    bool killed = false;       // still running at the end, so killed with SIGKILL
    int exitStatus = -1;       // when it ended by itself
};

struct RunOptions {
    std::vector<std::string> argv;
    std::vector<std::string> env;  // NAME=VALUE added to the inherited environment
    std::vector<std::string> unset;  // names removed from it
    std::chrono::milliseconds limit{5000};
    std::function<bool()> done;  // asked now and then: true ends the run before the limit
    bool terminal = true;  // standard output on a pseudo-terminal, else a pipe
};

// Runs a program until it ends, the limit passes or it is done, then kills it with SIGKILL.
RunResult run(const RunOptions& options);

// A helper process for the length of a test (a sound server, a recorder):
// started with its standard output into a file, ended with SIGTERM (then
// SIGKILL) when this goes.
class Background {
public:
    Background(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& outputPath);
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // Asks it to end (SIGINT, as Ctrl-C would) and waits for it.
    void stop();

private:
    int pid_ = -1;
};

// A path for a scratch file of this test process, in the test's temporary
// directory.
std::string scratchPath(const std::string& name);

// A whole file as text; empty when it cannot be read.
std::string fileContents(const std::string& path);

// The command that runs a program built by this project: under the
// cross-compiling emulator where there is one.
std::vector<std::string> programCommand(const std::string& path);

}  // namespace testing_support
