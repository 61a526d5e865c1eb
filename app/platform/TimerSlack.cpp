#include "platform/TimerSlack.h"

namespace timerslack {
namespace {

// The first multiple of `step` at or after `t`.
std::int64_t ceilTo(std::int64_t t, std::int64_t step) {
    const std::int64_t r = t % step;
    return r == 0 ? t : t + (r > 0 ? step - r : -r);
}

// The last multiple of `step` at or before `t`.
std::int64_t floorTo(std::int64_t t, std::int64_t step) {
    const std::int64_t r = t % step;
    return r >= 0 ? t - r : t - (step + r);
}

} // namespace

std::int64_t dueTime(std::int64_t earliest, std::int64_t interval) {
    const std::int64_t latest = earliest + slackFor(interval);
    const std::int64_t second = ceilTo(earliest, kSecond);
    if (second <= latest) return second;
    const std::int64_t slot = floorTo(latest, kGrid);
    if (slot >= earliest) return slot;
    return earliest;
}

} // namespace timerslack
