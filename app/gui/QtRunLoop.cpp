// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtRunLoop.h"

#include "QtDescriptorWatch.h"
#include "QtTimer.h"

#include <QTimerEvent>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Whole milliseconds, rounded up: a precise timer never fires before its time.
int toMilliseconds(double seconds) {
    if (!(seconds > 0)) return 0;
    const double ms = std::ceil(seconds * 1000.0);
    return ms >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                 : static_cast<int>(ms);
}

// A repeating timer of 0 ms would run whenever the event loop is idle, a busy loop.
constexpr int kShortestRepeatMs = 1;

} // namespace

QtRunLoop::~QtRunLoop() {
    // One at a time: letting go of an action may destroy what it captured, which may
    // schedule or invalidate other timers meanwhile.
    while (!pending_.empty()) {
        auto timer = std::move(pending_.begin()->second);
        killTimer(pending_.begin()->first);
        pending_.erase(pending_.begin());
        timer->loop_ = nullptr;
        timer->invalidate();
    }
}

std::shared_ptr<Timer> QtRunLoop::scheduleOnce(double seconds, std::function<void()> action) {
    return schedule(seconds, false, false, std::move(action));
}

std::shared_ptr<Timer> QtRunLoop::scheduleOnceExactly(double seconds,
                                                      std::function<void()> action) {
    return schedule(seconds, false, true, std::move(action));
}

std::shared_ptr<Timer> QtRunLoop::scheduleRepeating(double seconds, std::function<void()> action) {
    return schedule(seconds, true, false, std::move(action));
}

std::shared_ptr<Timer> QtRunLoop::schedule(double seconds, bool repeats, bool exact,
                                           std::function<void()> action) {
    int ms = toMilliseconds(seconds);
    if (repeats) ms = std::max(ms, kShortestRepeatMs);
    const int id = startTimer(ms, exact ? Qt::PreciseTimer : Qt::CoarseTimer);
    // Without a timer (no event dispatcher: no application object) it can never fire.
    auto timer =
        std::make_shared<QtTimer>(id != 0 ? this : nullptr, id, repeats, std::move(action));
    if (id != 0) pending_.emplace(id, timer);
    return timer;
}

void QtRunLoop::timerEvent(QTimerEvent* event) {
    const auto it = pending_.find(event->timerId());
    if (it == pending_.end()) {
        killTimer(event->timerId());
        return;
    }
    // Both live until the action returns, whatever it invalidates or drops meanwhile.
    const std::shared_ptr<QtTimer> timer = it->second;
    const auto action = timer->action_;
    if (!timer->repeats_) timer->invalidate();
    if (action && *action) (*action)();
}

void QtRunLoop::cancel(int id, const QtTimer* timer) {
    const auto it = pending_.find(id);
    if (it == pending_.end() || it->second.get() != timer) return; // fired, or the id reused
    killTimer(id);
    // Moved out first: the timer may be destroyed when its last reference goes.
    auto keep = std::move(it->second);
    pending_.erase(it);
}

std::shared_ptr<DescriptorWatch> QtRunLoop::watchDescriptor(int fd, Readiness readiness,
                                                            std::function<void()> action) {
    return std::make_shared<QtDescriptorWatch>(fd, readiness, std::move(action));
}
