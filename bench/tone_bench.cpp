// Measures the tone generator on the simulated pin against the simple
// relative-sleep approach: pitch, edge timing, CPU and reaction time.
// Where the machine has a kernel PWM, the tone through it beside the thread.
// The tone through the sound card too, and a picture of it all drawn with
// gnuplot from the CSV files.
// With --loopback, the tone at a board's pin instead, read back on a second
// pin wired to it. tone_bench --help lists the options.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <string>
#include <thread>

#include "edge_recorder.hpp"
#include "edge_stats.hpp"
#include "loopback.hpp"
#include "options.hpp"
#include "pwm_rows.hpp"
#include "sound_rows.hpp"
#include "realtime.hpp"
#include "reference_tone.hpp"
#include "results.hpp"
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

void verdict(const char* target, bool met, const std::string& figure) {
    std::printf("  %-44s %-6s %s\n", target, met ? "met" : "MISSED", figure.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    const std::optional<Options> options = parseOptions(argc, argv, status);
    if (!options) return status;
    if (!options->loopbackLine.empty()) return runLoopback(*options);
    const double seconds = options->seconds;
    const std::string& csvPath = options->csvPath;
    std::vector<int> frequencies = options->frequencies;
    if (frequencies.empty()) frequencies.assign(std::begin(kFrequencies), std::end(kFrequencies));

    std::printf("tone benchmark: %.1f s a tone, on %s\n", seconds, machine().c_str());
    printTableHead();
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
    printPwmRows(options->pwmChip, seconds);
    printSoundRows(options->soundDevice, seconds);
    const std::string latenessPath = csvPath.substr(0, csvPath.rfind(".csv")) + "_lateness.csv";
    writeLatenessCsv(latenessPath, {"ours", "reference (relative sleep)", "timer floor"}, {oursLateUs, referenceLateUs, floorLateUs});
    std::printf("\nCSV: %s, %s\n", csvPath.c_str(), latenessPath.c_str());
    plot(results, latenessPath, options->pngPath);
    return 0;
}
