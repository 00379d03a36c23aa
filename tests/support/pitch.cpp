#include "pitch.hpp"

#include <algorithm>
#include <cmath>

namespace testing_support {
namespace {

double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

bool near(double a, double b, double tolerance) { return std::abs(a - b) <= tolerance * b; }

}  // namespace

std::vector<long long> risingEdges(const std::vector<Edge>& edges) {
    std::vector<long long> rising;
    for (std::size_t i = 1; i < edges.size(); ++i)
        if (edges[i].high && !edges[i - 1].high) rising.push_back(edges[i].us);
    return rising;
}

double pitchHz(const std::vector<long long>& risingUs) {
    std::vector<double> periods;
    for (std::size_t i = 1; i < risingUs.size(); ++i)
        periods.push_back(static_cast<double>(risingUs[i] - risingUs[i - 1]));
    if (periods.empty()) return 0.0;
    const double typical = median(periods);
    // The tone keeps its own schedule: a late edge does not move the next
    // one, so over a stretch without a stall the edges' lateness cancels
    // out. A stall, or a late start, breaks a stretch. In each stretch the
    // period is measured over half its length, from every starting edge, and
    // the median of all those is the pitch: a click neither counts nor tips
    // it one way.
    std::vector<double> spans;
    std::size_t first = 0;
    for (std::size_t i = 0; i <= periods.size(); ++i) {
        if (i < periods.size() && near(periods[i], typical, 0.5)) continue;
        const std::size_t edges = i - first + 1;  // risingUs[first..i]
        const std::size_t lag = std::max<std::size_t>(1, edges / 2);
        for (std::size_t k = first; k + lag <= i; ++k)
            spans.push_back(static_cast<double>(risingUs[k + lag] - risingUs[k]) / static_cast<double>(lag));
        first = i + 1;
    }
    return spans.empty() ? 1e6 / typical : 1e6 / median(spans);
}

std::vector<Note> notes(const std::vector<long long>& rising, double shortestMs) {
    if (rising.size() < 8) return {};
    std::vector<double> periods;
    for (std::size_t i = 1; i < rising.size(); ++i)
        periods.push_back(static_cast<double>(rising[i] - rising[i - 1]));

    // The median of the 31 periods around each one follows the note, not
    // strays: a busy machine can spoil a quarter of them. Then again without
    // those far off it, such as the whole periods a late tone drops.
    constexpr std::size_t kReach = 15;
    const auto around = [&](std::size_t i, const std::vector<double>* near_) {
        const std::size_t from = i < kReach ? 0 : i - kReach;
        const std::size_t to = std::min(periods.size(), i + kReach + 1);
        std::vector<double> window;
        for (std::size_t j = from; j < to; ++j)
            if (!near_ || near(periods[j], (*near_)[i], 0.3)) window.push_back(periods[j]);
        return window.empty() ? (*near_)[i] : median(window);
    };
    std::vector<double> rough(periods.size());
    for (std::size_t i = 0; i < periods.size(); ++i) rough[i] = around(i, nullptr);
    std::vector<double> local(periods.size());
    for (std::size_t i = 0; i < periods.size(); ++i) local[i] = around(i, &rough);

    // Runs of one local median, as [first, last] indexes into rising.
    struct Run {
        std::size_t first, last;
        double hz;
    };
    const auto edgesOf = [&](std::size_t first, std::size_t last) {
        return std::vector<long long>(rising.begin() + static_cast<long>(first),
                                      rising.begin() + static_cast<long>(last) + 1);
    };
    const auto spanMs = [&](std::size_t first, std::size_t last) {
        return static_cast<double>(rising[last] - rising[first]) / 1000.0;
    };
    std::vector<Run> runs;
    std::size_t first = 0;
    for (std::size_t i = 1; i <= periods.size(); ++i) {
        // Against the run's median, so values in passing between notes cannot
        // lead a run from one note to the next.
        if (i < periods.size() &&
            near(local[i], median({local.begin() + static_cast<long>(first), local.begin() + static_cast<long>(i)}), 0.03))
            continue;
        if (spanMs(first, i) >= shortestMs) {
            const double hz = pitchHz(edgesOf(first, i));
            // Pieces of one note parted by strays (too short to be a note) are joined again.
            if (!runs.empty() && near(hz, runs.back().hz, 0.03)) {
                runs.back().last = i;
                runs.back().hz = pitchHz(edgesOf(runs.back().first, i));
            } else {
                runs.push_back({first, i, hz});
            }
        }
        first = i;
    }

    std::vector<Note> result;
    // A note lasts until the next begins, disturbances in it included.
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::size_t end = i + 1 < runs.size() ? runs[i + 1].first : runs[i].last;
        result.push_back({runs[i].hz, spanMs(runs[i].first, end)});
    }
    return result;
}

std::string describe(const std::vector<Note>& notes) {
    std::string text;
    for (const Note& note : notes)
        text += std::to_string(note.hz) + " Hz " + std::to_string(note.durationMs) + " ms; ";
    return text;
}

}  // namespace testing_support
