// Runs a command and, about once a second, stops it and every process it
// started for a moment, the way a busy hypervisor stalls a guest. Tests that
// judge the code and not the machine pass under it, emulated boards
// included: their guests keep a clock of their own.
//   stress_run [--stall-ms N] [--every-ms N] COMMAND [ARG...]
// Exits with the command's status.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The command's process and all its descendants, from /proc.
std::vector<pid_t> processTree(pid_t root) {
    std::multimap<pid_t, pid_t> children;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return {root};
    while (const dirent* entry = readdir(proc)) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text;
        std::getline(stat, text);
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const auto close = text.rfind(')');
        if (close == std::string::npos || close + 4 >= text.size()) continue;
        children.emplace(std::atoi(text.c_str() + close + 4), pid);
    }
    closedir(proc);
    std::vector<pid_t> tree{root};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const auto [from, to] = children.equal_range(tree[i]);
        for (auto it = from; it != to; ++it) tree.push_back(it->second);
    }
    return tree;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace std::chrono;
    milliseconds stall{40};
    milliseconds every{1000};
    int first = 1;
    for (; first + 1 < argc; first += 2) {
        const std::string option = argv[first];
        if (option == "--stall-ms") stall = milliseconds(std::atoi(argv[first + 1]));
        else if (option == "--every-ms") every = milliseconds(std::atoi(argv[first + 1]));
        else break;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: stress_run [--stall-ms N] [--every-ms N] COMMAND [ARG...]\n");
        return 2;
    }
    const pid_t child = fork();
    if (child < 0) {
        std::perror("stress_run: fork");
        return 2;
    }
    if (child == 0) {
        // Killed with the runner (a test's time limit), never left stopped mid-stall.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() == 1) _exit(127);
        execvp(argv[first], argv + first);
        std::perror(argv[first]);
        _exit(127);
    }
    // Each pause a little off the mean, so no test can fall in step with it.
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long> jitter(every.count() / 2, every.count() * 3 / 2);
    int stalls = 0;
    int status = 0;
    const auto start = steady_clock::now();
    for (;;) {
        const auto wake = steady_clock::now() + milliseconds(jitter(random));
        bool ended = false;
        while (!ended && steady_clock::now() < wake) {
            ended = waitpid(child, &status, WNOHANG) == child;
            if (!ended) std::this_thread::sleep_for(10ms);
        }
        if (ended) break;
        const std::vector<pid_t> tree = processTree(child);
        for (pid_t pid : tree) kill(pid, SIGSTOP);
        std::this_thread::sleep_for(stall);
        for (pid_t pid : tree) kill(pid, SIGCONT);
        ++stalls;
    }
    const auto seconds = duration_cast<duration<double>>(steady_clock::now() - start).count();
    std::printf("stress_run: %d stalls of %lld ms in %.0f s\n", stalls, static_cast<long long>(stall.count()), seconds);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
