// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/PollWatch.h"
#include "platform/RunLoop.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <vector>

// A real-time run loop for headless programs and tests: timers fire only while the calling
// thread runs the loop (runFor, runUntil), in order of due time, ties in order of scheduling.
// A repeating timer that fell behind fires once and then keeps its original cadence.
// Watched descriptors are polled while the loop waits for its next timer.
class PosixRunLoop : public RunLoop {
public:
    std::shared_ptr<Timer> scheduleOnce(double seconds, std::function<void()> action) override;
    std::shared_ptr<Timer> scheduleRepeating(double seconds, std::function<void()> action) override;
    std::shared_ptr<DescriptorWatch> watchDescriptor(int fd, Readiness readiness,
                                                     std::function<void()> action) override;

    // Runs timers for `seconds` of real time.
    void runFor(double seconds);

    // Runs timers until `done` answers true (asked before the first wait, after every timer
    // and at least every 10 ms) or `timeoutSeconds` have passed. Returns the last answer.
    bool runUntil(const std::function<bool()>& done, double timeoutSeconds);

    std::size_t pendingTimers() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Entry;
    using Watch = PollWatch;

    std::shared_ptr<Entry> add(double seconds, bool repeating, std::function<void()> action);
    // Fires the earliest timer due by now and by `limit`, if there is one.
    bool fireOneDue(Clock::time_point limit);
    Clock::time_point nextDue(Clock::time_point limit);
    // Sleeps until `when`, or polls the watched descriptors until then and runs the actions
    // of those that became ready.
    void sleepUntil(Clock::time_point when);

    unsigned long nextSequence_ = 0;
    std::vector<std::shared_ptr<Entry>> timers_;
    std::vector<std::weak_ptr<Watch>> watches_;
};
