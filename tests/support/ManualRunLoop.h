#pragma once

#include "platform/RunLoop.h"

#include <memory>
#include <vector>

// A run loop on a manual clock: nothing fires until the test advances time.
class ManualRunLoop : public RunLoop {
public:
    std::shared_ptr<Timer> scheduleOnce(double seconds, std::function<void()> action) override;
    std::shared_ptr<Timer> scheduleRepeating(double seconds, std::function<void()> action) override;
    // Time passes but no timer fires during the pause; overdue timers fire at the next advance.
    void pause(double seconds) override;

    // Runs every timer due within the next `seconds`, in order of due time (ties in order of
    // scheduling), with the clock set to each timer's due time while it runs.
    void advance(double seconds);

    double now() const { return now_; }
    std::size_t pendingTimers() const;
    const std::vector<double>& pauses() const { return pauses_; }

private:
    struct Entry;
    double now_ = 0;
    unsigned long nextSequence_ = 0;
    std::vector<std::shared_ptr<Entry>> timers_;
    std::vector<double> pauses_;
};
