// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PosixRunLoop.h"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

TEST(PosixRunLoopOrder, TimersFireInDueOrderTiesInSchedulingOrder) {
    PosixRunLoop loop;
    std::string fired;
    loop.scheduleOnce(0.03, [&] { fired += "c"; });
    loop.scheduleOnce(0.01, [&] { fired += "a"; });
    loop.scheduleOnce(0.01, [&] { fired += "b"; });
    loop.scheduleOnce(-1, [&] { fired += "0"; });
    loop.scheduleOnce(NAN, [&] { fired += "0"; });
    loop.runFor(0.06);
    EXPECT_EQ(fired, "00abc");
    EXPECT_EQ(loop.pendingTimers(), 0u);
}

TEST(PosixRunLoopOrder, OnlyTimersDueWithinTheRunFire) {
    PosixRunLoop loop;
    int fired = 0;
    auto later = loop.scheduleOnce(10, [&] { ++fired; });
    loop.runFor(0.02);
    EXPECT_EQ(fired, 0);
    EXPECT_TRUE(later->isValid());
    later->invalidate();
    EXPECT_EQ(loop.pendingTimers(), 0u);
}

TEST(PosixRunLoopOrder, TimersScheduledOrInvalidatedByACallbackTakeEffectInTheSameRun) {
    PosixRunLoop loop;
    std::string fired;
    std::shared_ptr<Timer> victim;
    loop.scheduleOnce(0.005, [&] {
        fired += "a";
        victim->invalidate();
        loop.scheduleOnce(0.005, [&] { fired += "c"; });
    });
    victim = loop.scheduleOnce(0.008, [&] { fired += "b"; });
    EXPECT_TRUE(loop.runUntil([&] { return fired.size() >= 2; }, 2));
    loop.runFor(0.01);
    EXPECT_EQ(fired, "ac");
}

TEST(PosixRunLoopRepeating, FiresUntilInvalidatedEvenFromItsOwnCallback) {
    PosixRunLoop loop;
    int count = 0;
    std::shared_ptr<Timer> timer;
    timer = loop.scheduleRepeating(0.002, [&] {
        if (++count == 3) timer->invalidate();
    });
    EXPECT_TRUE(loop.runUntil([&] { return count >= 3; }, 2));
    loop.runFor(0.02);
    EXPECT_EQ(count, 3);
    EXPECT_FALSE(timer->isValid());
    timer->invalidate(); // harmless a second time
}

TEST(PosixRunLoopRepeating, ATimerThatFellBehindFiresOnceAndKeepsGoing) {
    PosixRunLoop loop;
    int count = 0;
    auto timer = loop.scheduleRepeating(0.002, [&] { ++count; });
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // falls behind
    loop.runFor(0);
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(loop.runUntil([&] { return count >= 3; }, 2));
    timer->invalidate();
}

TEST(PosixRunLoopLifetime, ACallbackKeepsItsCapturesUntilItFiresOrIsInvalidated) {
    PosixRunLoop loop;
    auto once = std::make_shared<int>(1);
    auto repeating = std::make_shared<int>(2);
    std::weak_ptr<int> onceWatch = once, repeatingWatch = repeating;
    loop.scheduleOnce(0.001, [keep = std::move(once)] {});
    auto timer = loop.scheduleRepeating(0.001, [keep = std::move(repeating)] {});

    EXPECT_FALSE(onceWatch.expired());
    loop.runFor(0.01);
    EXPECT_TRUE(onceWatch.expired());
    EXPECT_FALSE(repeatingWatch.expired()); // fired, but it will fire again
    timer->invalidate();
    EXPECT_TRUE(repeatingWatch.expired());
}

TEST(PosixRunLoopUntil, AnswersWhetherTheConditionCameTrue) {
    PosixRunLoop loop;
    int fired = 0;
    loop.scheduleOnce(0, [&] { ++fired; });
    EXPECT_TRUE(loop.runUntil([] { return true; }, 1));
    EXPECT_EQ(fired, 0); // already done: nothing runs

    EXPECT_FALSE(loop.runUntil([] { return false; }, 0.02));
    EXPECT_EQ(fired, 1);

    bool flag = false;
    loop.scheduleOnce(0.005, [&] { flag = true; });
    loop.scheduleOnce(5, [&] { ++fired; });
    EXPECT_TRUE(loop.runUntil([&] { return flag; }, 2));
    EXPECT_EQ(fired, 1); // stops at the condition, not at the last timer
}

} // namespace
