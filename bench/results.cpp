#include "results.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

void printTableHead() {
    std::printf("cents: error of the mean frequency; heard: of the pitch, over the periods "
                "within 5%% of the median (stalls left out)\n"
                "lateness against the ideal schedule, in us; rsyn: restarts after falling a "
                "period behind; cpu in %% of one core;\nreact: from softToneWrite to the first "
                "edge of the new note, in us; err ratio: reference cents / ours\n\n");
    std::printf("%-9s %5s %10s %8s %7s %9s %7s %7s %7s %4s %6s %8s %8s  %8s\n", "generator", "hz",
                "mean hz", "cents", "heard", "late p50", "p99", "max", "jitter", "rsyn", "cpu%",
                "react50", "reactmax", "err ratio");
}

void printRow(const Result& r, const Result* ours) {
    const ToneStats& s = r.stats;
    std::printf("%-9s %5d %10.3f %8.2f %7.2f %9.0f %7.0f %7.0f %7.0f %4d %6.2f %8.0f %8.0f",
                r.generator.c_str(), r.hz, s.meanHz, s.cents, s.heardCents, s.lateP50Us, s.lateP99Us,
                s.lateMaxUs, s.jitterUs, s.resyncs, s.cpuPercent, r.latencyP50Us, r.latencyMaxUs);
    if (ours) {
        const double oursError = std::max(std::abs(ours->stats.cents), 0.01);
        std::printf("  %7.0fx", std::abs(s.cents) / oursError);
    }
    std::printf("\n");
}

void writeCsv(const std::string& path, const std::vector<Result>& results) {
    std::ofstream csv(path);
    csv << "generator,target_hz,mean_hz,error_cents,heard_cents,late_p50_us,late_p99_us,late_max_us,"
           "jitter_us,resyncs,cpu_percent,latency_p50_us,latency_max_us\n";
    for (const Result& r : results) {
        const ToneStats& s = r.stats;
        csv << r.generator << ',' << r.hz << ',' << s.meanHz << ',' << s.cents << ',' << s.heardCents << ','
            << s.lateP50Us << ',' << s.lateP99Us << ',' << s.lateMaxUs << ',' << s.jitterUs << ','
            << s.resyncs << ',' << s.cpuPercent << ',' << r.latencyP50Us << ',' << r.latencyMaxUs << '\n';
    }
}

namespace {

// The project's gnuplot script, found from the program's own place: beside
// it in a build tree, in ../share/scale where it is installed.
std::string plotScript() {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
    const std::filesystem::path beside = dir / "tone_bench.gp";
    return std::filesystem::exists(beside, ec) ? beside.string() : (dir / "../share/scale/tone_bench.gp").string();
}

}  // namespace

namespace {

// Each note's pitch error as gnuplot's histograms take it: a row a note, a
// column a generator, NaN where a generator did not play that note.
std::string pitchTable(const std::vector<Result>& results) {
    std::vector<std::string> generators;
    std::vector<int> notes;
    for (const Result& r : results) {
        if (std::find(generators.begin(), generators.end(), r.generator) == generators.end())
            generators.push_back(r.generator);
        if (std::find(notes.begin(), notes.end(), r.hz) == notes.end()) notes.push_back(r.hz);
    }
    std::string table = "hz";
    for (const std::string& g : generators) table += "," + g;
    for (int hz : notes) {
        table += "\n" + std::to_string(hz);
        for (const std::string& g : generators) {
            const auto row = std::find_if(results.begin(), results.end(),
                                          [&](const Result& r) { return r.generator == g && r.hz == hz; });
            char cents[32] = "NaN";
            if (row != results.end()) std::snprintf(cents, sizeof cents, "%.4f", row->stats.cents);
            table += std::string(",") + cents;
        }
    }
    return table + "\n";
}

}  // namespace

void plot(const std::vector<Result>& results, const std::string& lateness, const std::string& png) {
    // gnuplot is handed file names as its script's arguments, never in its
    // own syntax or a shell's, so that any name plots.
    std::string table = (std::filesystem::temp_directory_path() / "tone_bench_pitch.XXXXXX").string();
    const int fd = mkstemp(table.data());
    if (fd < 0) {
        std::printf("picture: none, no temporary file for gnuplot (%s)\n", std::strerror(errno));
        return;
    }
    const std::string text = pitchTable(results);
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    const std::string script = plotScript();
    const char* argv[] = {"gnuplot", "-c", script.c_str(), lateness.c_str(), table.c_str(), png.c_str(), nullptr};
    pid_t pid = 0;
    int status = 0;
    if (!written) {
        std::printf("picture: none, the temporary file %s could not be written\n", table.c_str());
    } else if (posix_spawnp(&pid, "gnuplot", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
        std::printf("picture: none, gnuplot is not installed (apt-get install gnuplot-nox)\n");
    } else if (waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        std::printf("picture: %s\n", png.c_str());
    } else {
        std::printf("picture: gnuplot failed\n");
    }
    std::remove(table.c_str());
}

std::string machine() {
    utsname u{};
    uname(&u);
    std::string cpu = "unknown CPU";
    std::ifstream info("/proc/cpuinfo");
    for (std::string line; std::getline(info, line);) {
        if (line.rfind("model name", 0) == 0 || line.rfind("Model", 0) == 0) {
            cpu = line.substr(line.find(':') + 2);
            break;
        }
    }
    return cpu + ", " + std::to_string(std::thread::hardware_concurrency()) + " cores, " + u.sysname + " " +
           u.release + " " + u.machine;
}
