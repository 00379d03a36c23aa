#include "pwm_steps.hpp"

#include <algorithm>

namespace gpio {

std::int64_t periodNsOf(int hz) {
    constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
    return (kNanosPerSecond + hz / 2) / hz;
}

std::chrono::nanoseconds settleTime(std::int64_t periodNs) {
    using std::chrono::nanoseconds;
    return std::clamp(nanoseconds(periodNs), nanoseconds(0), nanoseconds(std::chrono::seconds(1)));
}

std::vector<PwmWrite> squareWaveSteps(const PwmState& now, std::int64_t periodNs) {
    const std::int64_t dutyNs = periodNs / 2;
    const PwmWrite period{PwmAttribute::Period, periodNs};
    const PwmWrite duty{PwmAttribute::DutyCycle, dutyNs};
    std::vector<PwmWrite> steps;
    if (periodNs < now.periodNs) {
        if (now.dutyNs != dutyNs) steps.push_back(duty);
        steps.push_back(period);
    } else {
        if (now.periodNs != periodNs) steps.push_back(period);
        if (now.dutyNs != dutyNs) steps.push_back(duty);
    }
    return steps;
}

std::vector<PwmWrite> toneSteps(const PwmState& now, int hz) {
    if (hz <= 0) {
        if (!now.enabled || now.dutyNs == 0) return {};
        return {{PwmAttribute::DutyCycle, 0}};
    }
    std::vector<PwmWrite> steps = squareWaveSteps(now, periodNsOf(hz));
    if (!now.enabled) steps.push_back({PwmAttribute::Enable, 1});
    return steps;
}

std::vector<PwmWrite> stopSteps(const PwmState& now) {
    if (!now.enabled) return {};
    std::vector<PwmWrite> steps = toneSteps(now, 0);
    steps.push_back({PwmAttribute::Enable, 0});
    return steps;
}

PwmState applied(PwmState state, const std::vector<PwmWrite>& writes) {
    for (const PwmWrite& w : writes) {
        switch (w.attribute) {
        case PwmAttribute::Period:
            state.periodNs = w.value;
            break;
        case PwmAttribute::DutyCycle:
            state.dutyNs = w.value;
            break;
        case PwmAttribute::Enable:
            state.enabled = w.value != 0;
            break;
        }
    }
    return state;
}

}  // namespace gpio
