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
    double sum = 0.0;
    int count = 0;
    for (double p : periods) {
        if (near(p, typical, 0.05)) {
            sum += p;
            ++count;
        }
    }
    return 1e6 * count / sum;
}

std::vector<Note> notes(const std::vector<long long>& rising, double shortestMs) {
    if (rising.size() < 8) return {};
    std::vector<double> periods;
    for (std::size_t i = 1; i < rising.size(); ++i)
        periods.push_back(static_cast<double>(rising[i] - rising[i - 1]));

    // The median of the 15 periods around each one follows the note, not strays.
    std::vector<double> local(periods.size());
    for (std::size_t i = 0; i < periods.size(); ++i) {
        const std::size_t from = i < 7 ? 0 : i - 7;
        const std::size_t to = std::min(periods.size(), i + 8);
        local[i] = median({periods.begin() + static_cast<long>(from), periods.begin() + static_cast<long>(to)});
    }

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
