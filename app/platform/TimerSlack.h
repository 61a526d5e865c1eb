#pragma once

#include <cstdint>

// Where in its allowed window a timer fires, so that many timers share one wake-up.
//
// A timer asked to fire `interval` after `earliest` may fire up to min(5 % of the interval,
// 50 ms) later, never earlier. Within that window it takes a whole second of the clock if
// there is one, otherwise the latest multiple of 50 ms. Timers that follow one another (a
// step that schedules the next step) so move 50 ms later per turn until they reach the whole
// second, and then stay there: after at most twenty turns every one-second timer fires in the
// same wake-up as the others. Times are nanoseconds of a monotonic clock.
namespace timerslack {

constexpr std::int64_t kMillisecond = 1'000'000;
constexpr std::int64_t kSecond = 1000 * kMillisecond;
constexpr std::int64_t kMaxSlack = 50 * kMillisecond;
constexpr std::int64_t kGrid = 50 * kMillisecond;

constexpr std::int64_t slackFor(std::int64_t interval) {
    const std::int64_t fivePercent = interval > 0 ? interval / 20 : 0;
    return fivePercent < kMaxSlack ? fivePercent : kMaxSlack;
}

// The due time for a timer whose window starts at `earliest` (now plus its interval).
std::int64_t dueTime(std::int64_t earliest, std::int64_t interval);

} // namespace timerslack
