#pragma once

#include "platform/RunLoop.h"

#include <cstddef>
#include <memory>
#include <unordered_map>

class QtTimer;

// Timers on the Qt main event loop, each a QTimer of its own: coarse ones (Qt lets them fire
// within about 5 % of their interval, so that timers due at nearly the same time share a
// wake-up) and, for scheduleOnceExactly, precise ones. A timer whose action opens a nested
// event loop (a modal dialog) holds back no other timer.
class QtRunLoop : public RunLoop {
public:
    QtRunLoop() = default;
    QtRunLoop(const QtRunLoop&) = delete;
    QtRunLoop& operator=(const QtRunLoop&) = delete;
    // Pending timers are invalidated without firing.
    ~QtRunLoop() override;

    std::shared_ptr<Timer> scheduleOnce(double seconds, std::function<void()> action) override;
    std::shared_ptr<Timer> scheduleOnceExactly(double seconds,
                                               std::function<void()> action) override;
    std::shared_ptr<Timer> scheduleRepeating(double seconds, std::function<void()> action) override;
    std::shared_ptr<DescriptorWatch> watchDescriptor(int fd, Readiness readiness,
                                                     std::function<void()> action) override;

    std::size_t pendingTimers() const { return pending_.size(); }

private:
    friend class QtTimer;

    std::shared_ptr<Timer> schedule(double seconds, bool repeats, bool exact,
                                    std::function<void()> action);
    void forget(QtTimer* timer);

    // Every timer that may still fire, kept here so that a timer whose handle the caller
    // dropped still fires.
    std::unordered_map<QtTimer*, std::shared_ptr<QtTimer>> pending_;
};
