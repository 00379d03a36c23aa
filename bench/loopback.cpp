#include "loopback.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <memory>

#include "backend.hpp"
#include "edge_line.hpp"
#include "edge_stats.hpp"
#include "error.hpp"
#include "open_tone.hpp"
#include "pin_map.hpp"
#include "process_usage.hpp"
#include "pwm_tone.hpp"
#include "results.hpp"
#include "scale_notes.hpp"

using namespace std::chrono_literals;
using gpio::Clock;

namespace {

constexpr int kTonePin = 3;  // the program's
constexpr int kToneGpio = *gpio::broadcomGpio(kTonePin);
constexpr int kToneHeader = *gpio::headerPin(kToneGpio);

std::string toneLine() { return "GPIO" + std::to_string(kToneGpio); }
std::string toneAt() { return toneLine() + " (header pin " + std::to_string(kToneHeader) + ")"; }
std::string toneWire() { return "pin " + std::to_string(kToneHeader); }
constexpr auto kNoEdge = 1s;
// Past the change of note before measuring, and how often the reader wakes.
constexpr auto kSettle = 100ms;
constexpr auto kBatch = 20ms;
// A quarter tone: the next note up or down is 100 cents away, so a signal
// further off than this is not the note.
constexpr double kWrongCents = 50;

struct WrongSetUp {
    std::string line;
};

std::string hzText(double hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f Hz", hz);
    return text;
}

// "pin 16" for a header line, else the line's name.
std::string wireEnd(const EdgeLine& line) {
    const auto header = line.headerPin();
    return header ? "pin " + std::to_string(*header) : line.name();
}

Result measureNote(EdgeLine& line, gpio::Tone* tone, const std::string& timing, int hz, double seconds) {
    line.drain();
    const auto asked = Clock::now();
    if (tone) tone->setFrequency(hz);
    std::vector<EdgeRecorder::Edge> first = line.readUntil(asked + kSettle, kBatch);
    if (first.empty()) first = line.readUntil(asked + kNoEdge, kBatch);
    if (first.empty()) {
        if (!tone) throw WrongSetUp{"no edge on " + line.described() + " within a second; is the signal wired to it and playing?"};
        throw WrongSetUp{"no edge on " + line.described() + " within a second of playing " + std::to_string(hz) +
                         " Hz on " + toneAt() + "; is " + toneWire() + " wired to " + wireEnd(line) + "?"};
    }
    const double reactUs = tone ? std::chrono::duration<double, std::micro>(first.front().at - asked).count() : 0.0;

    const ProcessUsage before = processUsage();
    const std::vector<EdgeRecorder::Edge> edges =
        line.readUntil(Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)), kBatch);
    const ProcessUsage after = processUsage();
    if (edges.size() < 3) {
        throw WrongSetUp{"the edges on " + line.described() + " stopped within " + std::to_string(hz) +
                         " Hz's measurement; check the wire"};
    }
    const ToneStats stats = analyse(edges, hz, after.cpuSeconds - before.cpuSeconds);
    // Another signal is off both in its mean and in its typical period; a
    // jittery or stalled note keeps at least one of them.
    if (std::min(std::abs(stats.cents), std::abs(stats.heardCents)) > kWrongCents) {
        const std::string heard = hzText(stats.meanHz);
        if (!tone) throw WrongSetUp{"edges on " + line.described() + " at " + heard + ", not " + std::to_string(hz) +
                                    " Hz; play that note, or give the signal's frequency with --hz"};
        throw WrongSetUp{"edges on " + line.described() + " at " + heard + " while " + toneAt() + " plays " +
                         std::to_string(hz) + " Hz: the wire carries another signal; move it to " + toneWire()};
    }
    return {timing, hz, stats, reactUs, reactUs};
}

}  // namespace

int runLoopback(const Options& o) {
    std::vector<int> notes = o.frequencies;
    if (notes.empty()) notes.assign(std::begin(kScaleHz), std::end(kScaleHz));
    try {
        if (o.loopbackLine == toneLine() && !o.listen) {
            throw WrongSetUp{toneLine() + " is the tone's own line; wire " + toneWire() +
                             " to a free pin and name that pin's line, e.g. GPIO23 (pin 16)"};
        }
        EdgeLine line(o.loopbackLine);
        std::unique_ptr<gpio::Backend> backend;
        std::unique_ptr<gpio::Tone> tone;
        std::string timing = "listened";
        if (!o.listen) {
            backend = gpio::chooseBackend("").backend;
            tone = gpio::openTone(*backend, kTonePin, nullptr, gpio::toneTiming());
            timing = dynamic_cast<gpio::PwmTone*>(tone.get()) ? "pwm" : "thread";
        }
        std::printf("tone at the pin: %.1f s a note, %s, read back on %s by the kernel's edge timestamps, on %s\n",
                    o.seconds, o.listen ? "played by another source" : ("played on " + toneAt() + " timed by the " + timing).c_str(),
                    line.described().c_str(), machine().c_str());
        printTableHead();
        std::vector<Result> results;
        std::vector<double> lateUs;
        for (int hz : notes) {
            results.push_back(measureNote(line, tone.get(), timing, hz, o.seconds));
            printRow(results.back(), nullptr);
            std::fflush(stdout);
            lateUs.insert(lateUs.end(), results.back().stats.lateUs.begin(), results.back().stats.lateUs.end());
        }
        if (line.lost() > 0) {
            std::printf("%llu edges were lost: the reader fell behind the kernel's buffer, and the figures are off\n",
                        static_cast<unsigned long long>(line.lost()));
        }
        writeCsv(o.csvPath, results);
        const std::string latenessPath = o.csvPath.substr(0, o.csvPath.rfind(".csv")) + "_lateness.csv";
        writeLatenessCsv(latenessPath, {timing + " at the pin"}, {lateUs});
        std::printf("\nCSV: %s, %s\n", o.csvPath.c_str(), latenessPath.c_str());
        plot(results, latenessPath, o.pngPath);
        return 0;
    } catch (const WrongSetUp& wrong) {
        std::fprintf(stderr, "tone_bench: %s\n", wrong.line.c_str());
    } catch (const gpio::Error& e) {
        std::fprintf(stderr, "tone_bench: %s\n", e.what());
    }
    return 1;
}
