// Measures the tone generator on the simulated pin against the simple
// relative-sleep approach: pitch, edge timing, CPU and reaction time.
// Where the machine has a kernel PWM, the tone through it beside the thread.
// The tone through the sound card too, and a picture of it all drawn with
// gnuplot from the CSV files.
//   tone_bench [--seconds S] [--csv FILE] [--hz F] [--pwm CHIP] [--sound DEVICE] [--plot FILE.png]
//   (--hz: that frequency alone; --pwm: a /sys/class/pwm/pwmchipN, else the first;
//    --sound: an ALSA device, "default" unless given)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/utsname.h>
#include <thread>
#include <unistd.h>

#include "edge_recorder.hpp"
#include "edge_stats.hpp"
#include "pwm_rows.hpp"
#include "sound_rows.hpp"
#include "realtime.hpp"
#include "reference_tone.hpp"
#include "sim_backend.hpp"
#include "tone_generator.hpp"
#include "traced_pin.hpp"

using namespace std::chrono_literals;
using gpio::Clock;

namespace {

constexpr int kFrequencies[] = {262, 294, 330, 349, 392, 440, 494, 525, 1000, 2000,
                                gpio::ToneGenerator::kMaxHz};
constexpr int kLatencyTrials = 10;
constexpr int kSwitchFromHz = 100;

struct Result {
    const char* generator;
    int hz;
    ToneStats stats;
    double latencyP50Us, latencyMaxUs;
};

// Switches to hz from another note and times the first edge of the new one.
// Ours starts the new wave with an edge; the reference's first new cycle
// starts with a rising edge.
template <class Tone>
std::vector<double> latencies(Tone& tone, EdgeRecorder& recorder, int hz, bool risingOnly) {
    std::vector<double> result;
    for (int trial = 0; trial < kLatencyTrials; ++trial) {
        tone.setFrequency(kSwitchFromHz);
        std::this_thread::sleep_for(std::chrono::milliseconds(23 + trial * 3));
        recorder.take();
        const Clock::time_point asked = Clock::now();
        tone.setFrequency(hz);
        std::this_thread::sleep_for(25ms);
        for (const auto& e : recorder.take()) {
            if (e.at < asked || (risingOnly && e.level != gpio::Level::High)) continue;
            result.push_back(std::chrono::duration<double, std::micro>(e.at - asked).count());
            break;
        }
    }
    return result;
}

template <class Tone>
Result measure(const char* name, int hz, double seconds, bool risingOnly) {
    auto recorder = std::make_shared<EdgeRecorder>();
    Tone tone(std::make_unique<gpio::TracedPin>(std::make_unique<gpio::SimPin>(), 3, recorder));
    const std::vector<double> reaction = latencies(tone, *recorder, hz, risingOnly);
    std::this_thread::sleep_for(50ms);  // past the change
    recorder->take();
    const double cpuBefore = recorder->threadCpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpuAfter = recorder->threadCpuSeconds();
    const std::vector<EdgeRecorder::Edge> edges = recorder->take();
    return {name, hz, analyse(edges, hz, cpuAfter - cpuBefore), percentile(reaction, 0.5),
            reaction.empty() ? 0.0 : *std::max_element(reaction.begin(), reaction.end())};
}

// The floor under any software tone: how late this machine wakes a thread of
// the same priority from a bare absolute-deadline sleep, every 952 us.
Lateness timerFloor(double seconds, std::vector<double>& lateness) {
    std::thread probe([&] {
        gpio::tuneThreadForTiming();
        timespec due{};
        clock_gettime(CLOCK_MONOTONIC, &due);
        const long steps = static_cast<long>(seconds / 952e-6);
        for (long i = 0; i < steps; ++i) {
            due.tv_nsec += 952'000;
            if (due.tv_nsec >= 1'000'000'000L) {
                due.tv_nsec -= 1'000'000'000L;
                ++due.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            lateness.push_back(static_cast<double>(now.tv_sec - due.tv_sec) * 1e6 +
                               static_cast<double>(now.tv_nsec - due.tv_nsec) * 1e-3);
        }
    });
    probe.join();
    return summarise(lateness);
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
    return cpu + ", " + std::to_string(std::thread::hardware_concurrency()) + " cores, " +
           u.sysname + " " + u.release + " " + u.machine;
}

void printRow(const Result& r, const Result* ours) {
    const ToneStats& s = r.stats;
    std::printf("%-9s %5d %10.3f %8.2f %7.2f %9.0f %7.0f %7.0f %7.0f %4d %6.2f %8.0f %8.0f", r.generator,
                r.hz, s.meanHz, s.cents, s.heardCents, s.lateP50Us, s.lateP99Us, s.lateMaxUs, s.jitterUs,
                s.resyncs, s.cpuPercent, r.latencyP50Us, r.latencyMaxUs);
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
        csv << r.generator << ',' << r.hz << ',' << s.meanHz << ',' << s.cents << ',' << s.heardCents << ',' << s.lateP50Us
            << ',' << s.lateP99Us << ',' << s.lateMaxUs << ',' << s.jitterUs << ',' << s.resyncs
            << ',' << s.cpuPercent << ',' << r.latencyP50Us << ',' << r.latencyMaxUs << '\n';
    }
}

// The picture: how late edges come, per generator, and each note's pitch
// error, by the project's gnuplot script, where gnuplot is installed.
void plot(const std::string& summary, const std::string& lateness, const std::string& png) {
    const std::string command = "gnuplot -e \"summary='" + summary + "'; lateness='" + lateness +
                                "'; output='" + png + "'\" " TONE_BENCH_PLOT;
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) {
        std::printf("picture: none, gnuplot is not installed (apt-get install gnuplot-nox)\n");
    } else if (std::system(command.c_str()) == 0) {
        std::printf("picture: %s\n", png.c_str());
    } else {
        std::printf("picture: gnuplot failed\n");
    }
}

void verdict(const char* target, bool met, const std::string& figure) {
    std::printf("  %-44s %-6s %s\n", target, met ? "met" : "MISSED", figure.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 2.0;
    std::string csvPath = "tone_bench.csv";
    std::vector<int> frequencies(std::begin(kFrequencies), std::end(kFrequencies));
    std::string pwmChip;
    std::string soundDevice = "default";
    std::string pngPath = "tone_bench.png";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--csv") == 0) csvPath = argv[i + 1];
        else if (std::strcmp(argv[i], "--hz") == 0) frequencies = {std::atoi(argv[i + 1])};
        else if (std::strcmp(argv[i], "--pwm") == 0) pwmChip = argv[i + 1];
        else if (std::strcmp(argv[i], "--sound") == 0) soundDevice = argv[i + 1];
        else if (std::strcmp(argv[i], "--plot") == 0) pngPath = argv[i + 1];
    }

    std::printf("tone benchmark: %.1f s a tone, on %s\n", seconds, machine().c_str());
    std::printf("cents: error of the mean frequency; heard: of the pitch, over the periods "
                "within 5%% of the median (stalls left out)\n"
                "lateness against the ideal schedule, in us; rsyn: restarts after falling a "
                "period behind; cpu in %% of one core;\nreact: from softToneWrite to the first "
                "edge of the new note, in us; err ratio: reference cents / ours\n\n");
    std::printf("%-9s %5s %10s %8s %7s %9s %7s %7s %7s %4s %6s %8s %8s  %8s\n", "generator", "hz",
                "mean hz", "cents", "heard", "late p50", "p99", "max", "jitter", "rsyn", "cpu%",
                "react50", "reactmax", "err ratio");

    std::vector<double> floorLateUs, oursLateUs, referenceLateUs;
    const Lateness floor = timerFloor(seconds, floorLateUs);
    std::printf("%-9s %5s %10s %8s %7s %9.0f %7.0f %7.0f %7.0f   (a bare sleep to each deadline)\n",
                "timer", "", "", "", "", floor.p50Us, floor.p99Us, floor.maxUs,
                floor.p99Us - floor.p50Us);

    std::vector<Result> results;
    double worstCents = 0, worstHeard = 0, worstJitter = 0, cpuAt525 = 0, worstLatency = 0;
    for (int hz : frequencies) {
        const Result ours = measure<gpio::ToneGenerator>("ours", hz, seconds, false);
        const Result reference = measure<ReferenceTone>("reference", hz, seconds, true);
        printRow(ours, nullptr);
        printRow(reference, &ours);
        std::fflush(stdout);
        results.push_back(ours);
        results.push_back(reference);
        if (hz <= 525) {
            oursLateUs.insert(oursLateUs.end(), ours.stats.lateUs.begin(), ours.stats.lateUs.end());
            referenceLateUs.insert(referenceLateUs.end(), reference.stats.lateUs.begin(),
                                   reference.stats.lateUs.end());
            worstCents = std::max(worstCents, std::abs(ours.stats.cents));
            worstHeard = std::max(worstHeard, std::abs(ours.stats.heardCents));
            worstJitter = std::max(worstJitter, ours.stats.jitterUs);
        }
        if (hz == 525) cpuAt525 = ours.stats.cpuPercent;
        worstLatency = std::max(worstLatency, ours.latencyMaxUs);
    }
    writeCsv(csvPath, results);

    std::printf("\ntargets (ours, scale notes 262-525 Hz):\n");
    verdict("every note within 1 cent", worstCents <= 1.0,
            "worst " + std::to_string(worstCents) + " cents (heard pitch: worst " +
                std::to_string(worstHeard) + ")");
    verdict("jitter (p99 - p50) at most 100 us", worstJitter <= 100.0,
            "worst " + std::to_string(static_cast<int>(worstJitter)) + " us");
    verdict("at most 1% of one core at 525 Hz", cpuAt525 <= 1.0,
            std::to_string(cpuAt525) + " %");
    verdict("new frequency on the pin within 1 ms", worstLatency <= 1000.0,
            "worst " + std::to_string(static_cast<int>(worstLatency)) + " us (all frequencies)");
    printPwmRows(pwmChip, seconds);
    printSoundRows(soundDevice, seconds);
    const std::string latenessPath = csvPath.substr(0, csvPath.rfind(".csv")) + "_lateness.csv";
    writeLatenessCsv(latenessPath, {"ours", "reference", "timer"}, {oursLateUs, referenceLateUs, floorLateUs});
    std::printf("\nCSV: %s, %s\n", csvPath.c_str(), latenessPath.c_str());
    plot(csvPath, latenessPath, pngPath);
    return 0;
}
