// Where a timer lands in its allowed window (see TimerSlack.h); the real figures of the
// running application are in bench/.
#include "platform/TimerSlack.h"

#include <gtest/gtest.h>
#include <set>

using namespace timerslack;

namespace {

constexpr std::int64_t ms = kMillisecond;
// An arbitrary point of the monotonic clock, not on any boundary.
constexpr std::int64_t kBase = 86'400 * kSecond + 123 * ms + 456'789;

} // namespace

TEST(TimerSlack, NeverEarlyAndLateByAtMostFivePercentUpTo50Ms) {
    for (std::int64_t interval :
         {0 * ms, 20 * ms, 500 * ms, 1000 * ms, 3000 * ms, 10'000 * ms, 60'000 * ms}) {
        const std::int64_t slack = std::min(interval / 20, 50 * ms);
        for (std::int64_t t = 0; t < 2 * kSecond; t += ms + 17) {
            const std::int64_t earliest = kBase + t + interval;
            const std::int64_t due = dueTime(earliest, interval);
            ASSERT_GE(due, earliest) << interval << " " << t;
            ASSERT_LE(due - earliest, slack) << interval << " " << t;
        }
    }
    // The bounds of the first check and of a step of the check loop.
    EXPECT_EQ(slackFor(3 * kSecond), 50 * ms);
    EXPECT_EQ(slackFor(kSecond), 50 * ms);
}

TEST(TimerSlack, AWholeSecondInTheWindowIsTakenAndOthersShareFiftyMsSlots) {
    const std::int64_t second = 100 * kSecond;
    EXPECT_EQ(dueTime(second, kSecond), second);
    EXPECT_EQ(dueTime(second - 50 * ms, kSecond), second);
    EXPECT_EQ(dueTime(second - 51 * ms, kSecond), second - 50 * ms);
    // Everything asked for within one 50 ms stretch lands on the same instant.
    std::set<std::int64_t> dues;
    for (std::int64_t t = 100 * ms; t < 150 * ms; t += ms / 3)
        dues.insert(dueTime(second + t, kSecond));
    EXPECT_EQ(dues, std::set<std::int64_t>{second + 150 * ms});
}

TEST(TimerSlack, StepsThatFollowEachOtherMeetOnTheWholeSecondAndStayThere) {
    // Steps of check loops started at different moments, each scheduled 1 s after the last
    // was due: within twenty turns all fire together, on the whole second.
    std::set<std::int64_t> phases;
    for (std::int64_t start = 0; start < kSecond; start += 7 * ms + 311) {
        std::int64_t due = dueTime(kBase + start + 3 * kSecond, 3 * kSecond);
        for (int turn = 0; turn < 21; ++turn) {
            const std::int64_t next = dueTime(due + kSecond, kSecond);
            ASSERT_GE(next - due, kSecond);
            ASSERT_LE(next - due, kSecond + 50 * ms);
            due = next;
        }
        phases.insert(due % kSecond);
        for (int turn = 0; turn < 5; ++turn) {
            const std::int64_t next = dueTime(due + kSecond, kSecond);
            ASSERT_EQ(next - due, kSecond);
            due = next;
        }
    }
    EXPECT_EQ(phases, std::set<std::int64_t>{0});
}
