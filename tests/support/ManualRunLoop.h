// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/PollWatch.h"
#include "platform/RunLoop.h"

#include <memory>
#include <vector>

// A run loop on a manual clock: nothing fires until the test advances time.
class ManualRunLoop : public RunLoop {
public:
    std::shared_ptr<Timer> scheduleOnce(double seconds, std::function<void()> action) override;
    std::shared_ptr<Timer> scheduleRepeating(double seconds, std::function<void()> action) override;
    // Watched descriptors are looked at only by fireReadyDescriptors().
    std::shared_ptr<DescriptorWatch> watchDescriptor(int fd, Readiness readiness,
                                                     std::function<void()> action) override;
    // 2026-01-01 00:00:00 UTC plus now().
    std::chrono::system_clock::time_point wallClock() const override;
    // now() seconds after the clock's epoch.
    std::chrono::steady_clock::time_point monotonicClock() const override;

    // Runs the action of every watched descriptor that is ready now, again and again until
    // none is (at most `rounds` times). Returns the number of actions run.
    int fireReadyDescriptors(int rounds = 1000);
    std::size_t watchedDescriptors() const;

    // Runs every timer due within the next `seconds`, in order of due time (ties in order of
    // scheduling), with the clock set to each timer's due time while it runs.
    void advance(double seconds);

    double now() const { return now_; }
    std::size_t pendingTimers() const;

private:
    struct Entry;
    using Watch = PollWatch;
    double now_ = 0;
    std::vector<std::weak_ptr<Watch>> watches_;
    unsigned long nextSequence_ = 0;
    std::vector<std::shared_ptr<Entry>> timers_;
};
