// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/RunLoop.h"

#include <QObject>
#include <cstddef>
#include <memory>
#include <unordered_map>

class QtTimer;

// Timers on the Qt main event loop, each a timer of Qt's own (QObject::startTimer on this
// object, no QObject per timer): coarse ones (Qt lets them fire within about 5 % of their
// interval, so that timers due at nearly the same time share a wake-up) and, for
// scheduleOnceExactly, precise ones. A timer whose action opens a nested event loop (a modal
// dialog) holds back no other timer.
class QtRunLoop : public QObject, public RunLoop {
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

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    friend class QtTimer;

    std::shared_ptr<Timer> schedule(double seconds, bool repeats, bool exact,
                                    std::function<void()> action);
    // Stops Qt's timer `id` if it is still `timer`'s, and forgets it.
    void cancel(int id, const QtTimer* timer);

    // Every timer that may still fire, by Qt's timer id, kept here so that a timer whose handle
    // the caller dropped still fires.
    std::unordered_map<int, std::shared_ptr<QtTimer>> pending_;
};
