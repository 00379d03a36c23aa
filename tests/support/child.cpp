#include "child.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void execChild(const RunOptions& options, int errWrite) {
    dup2(errWrite, STDERR_FILENO);
    for (const std::string& name : options.unset) unsetenv(name.c_str());
    for (const std::string& pair : options.env) putenv(strdup(pair.c_str()));
    std::vector<char*> argv;
    for (const std::string& arg : options.argv) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

void splitLines(RunResult& result, std::string& partial, const char* data, std::size_t size,
                std::chrono::milliseconds at) {
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            if (!partial.empty() && partial.back() == '\r') partial.pop_back();
            result.lines.push_back({at, partial});
            partial.clear();
        } else {
            partial.push_back(data[i]);
        }
    }
}

}  // namespace

RunResult run(const RunOptions& options) {
    int errPipe[2];
    if (pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    int outFd = -1;
    pid_t pid = -1;
    if (options.terminal) {
        pid = forkpty(&outFd, nullptr, nullptr, nullptr);
    } else {
        int outPipe[2];
        if (pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        pid = fork();
        if (pid == 0) dup2(outPipe[1], STDOUT_FILENO);
        close(outPipe[1]);
        outFd = outPipe[0];
    }
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) execChild(options, errPipe[1]);
    close(errPipe[1]);

    RunResult result;
    std::string partial;
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + options.limit;
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0 || (options.done && options.done())) break;
        const auto wait = options.done ? std::min(left, std::chrono::milliseconds(50)) : left;
        if (poll(fds, 2, static_cast<int>(wait.count())) <= 0) continue;
        for (pollfd& p : fds) {
            if (p.fd < 0 || p.revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(p.fd, buffer, sizeof buffer);
            if (n <= 0) {  // a pty reads EIO once the child is gone
                p.fd = -1;
                --open;
                continue;
            }
            const auto at = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
            if (&p == &fds[0]) {
                result.out.append(buffer, static_cast<std::size_t>(n));
                splitLines(result, partial, buffer, static_cast<std::size_t>(n), at);
            } else {
                result.err.append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    bool ended = waitpid(pid, &status, WNOHANG) == pid;
    // Its output closed: give it until the limit to finish exiting.
    while (!ended && open == 0 && Clock::now() < end) {
        usleep(5000);
        ended = waitpid(pid, &status, WNOHANG) == pid;
    }
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        result.killed = true;
    } else if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    }
    close(outFd);
    close(errPipe[0]);
    return result;
}

Background::Background(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       const std::string& outputPath) {
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        RunOptions options;
        options.argv = argv;
        options.env = env;
        execChild(options, STDERR_FILENO);
    }
}

void Background::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGINT);
    for (int waited = 0; waited < 300 && waitpid(pid_, nullptr, WNOHANG) == 0; ++waited) usleep(10000);
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

Background::~Background() { stop(); }

std::string scratchPath(const std::string& name) {
    return ::testing::TempDir() + "scale_" + std::to_string(getpid()) + "_" + name;
}

std::string fileContents(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> programCommand(const std::string& path) {
    std::vector<std::string> command;
    // The emulator's command, its words parted by '|'.
    const std::string emulator = SCALE_TEST_EMULATOR;
    for (std::size_t from = 0; from < emulator.size();) {
        const std::size_t bar = std::min(emulator.find('|', from), emulator.size());
        command.push_back(emulator.substr(from, bar - from));
        from = bar + 1;
    }
    command.push_back(path);
    return command;
}

}  // namespace testing_support
