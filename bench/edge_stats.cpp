#include "edge_stats.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>

double percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0.0;
    const auto index = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    std::nth_element(values.begin(), values.begin() + static_cast<long>(index), values.end());
    return values[index];
}

Lateness summarise(const std::vector<double>& latenessUs) {
    if (latenessUs.empty()) return {0, 0, 0};
    return {percentile(latenessUs, 0.50), percentile(latenessUs, 0.99),
            *std::max_element(latenessUs.begin(), latenessUs.end())};
}

ToneStats analyse(const std::vector<EdgeRecorder::Edge>& edges, int hz, double cpuSeconds) {
    ToneStats stats;
    const auto us = [](gpio::Clock::duration d) {
        return std::chrono::duration<double, std::micro>(d).count();
    };

    std::vector<gpio::Clock::time_point> rising;
    for (const auto& e : edges)
        if (e.level == gpio::Level::High) rising.push_back(e.at);
    if (rising.size() < 2) return stats;
    stats.meanHz = static_cast<double>(rising.size() - 1) / (us(rising.back() - rising.front()) * 1e-6);
    stats.cents = 1200.0 * std::log2(stats.meanHz / hz);

    std::vector<double> periods;
    for (std::size_t i = 1; i < rising.size(); ++i) periods.push_back(us(rising[i] - rising[i - 1]));
    const double typical = percentile(periods, 0.5);
    double sum = 0;
    int count = 0;
    for (double p : periods) {
        if (std::abs(p - typical) <= 0.05 * typical) {
            sum += p;
            ++count;
        }
    }
    stats.heardCents = 1200.0 * std::log2(1e6 * count / sum / hz);

    const double halfUs = 5e5 / hz;
    std::vector<double> lateness;
    gpio::Clock::time_point anchor = edges.front().at;
    long k = 0;
    for (const auto& e : edges) {
        double late = us(e.at - anchor) - static_cast<double>(k) * halfUs;
        if (late > 2 * halfUs) {
            ++stats.resyncs;
            anchor = e.at;
            k = 0;
            late = 0;
        }
        lateness.push_back(late);
        ++k;
    }
    stats.lateUs = lateness;
    const Lateness late = summarise(lateness);
    stats.lateP50Us = late.p50Us;
    stats.lateP99Us = late.p99Us;
    stats.lateMaxUs = late.maxUs;
    stats.jitterUs = late.p99Us - late.p50Us;
    stats.cpuPercent = 100.0 * cpuSeconds / (us(edges.back().at - edges.front().at) * 1e-6);
    return stats;
}

void writeLatenessCsv(const std::string& path, const std::vector<std::string>& names,
                      const std::vector<std::vector<double>>& latenessUs) {
    std::ofstream csv(path);
    csv << "late_up_to_us";
    for (const std::string& name : names) csv << ',' << name;
    csv << '\n';
    for (double top = 1; top <= 131072; top *= 2) {
        csv << top;
        for (const auto& values : latenessUs) {
            const auto in = std::count_if(values.begin(), values.end(),
                                          [&](double v) { return v <= top && (top == 1 || v > top / 2); });
            csv << ',' << (values.empty() ? 0.0 : 100.0 * static_cast<double>(in) / static_cast<double>(values.size()));
        }
        csv << '\n';
    }
}
