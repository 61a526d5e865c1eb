#include "QtRunLoop.h"

#include "QtDescriptorWatch.h"
#include "QtTimer.h"

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
        auto timer = pending_.begin()->second;
        pending_.erase(pending_.begin());
        timer->loop_ = nullptr;
        timer->release();
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
    auto timer = std::make_shared<QtTimer>(this, ms, exact ? Qt::PreciseTimer : Qt::CoarseTimer,
                                           repeats, std::move(action));
    pending_.emplace(timer.get(), timer);
    timer->timer_.start();
    return timer;
}

void QtRunLoop::forget(QtTimer* timer) {
    // Moved out first: the timer may be destroyed when its last reference goes.
    auto it = pending_.find(timer);
    if (it == pending_.end()) return;
    auto keep = std::move(it->second);
    pending_.erase(it);
}

std::shared_ptr<DescriptorWatch> QtRunLoop::watchDescriptor(int fd, Readiness readiness,
                                                            std::function<void()> action) {
    return std::make_shared<QtDescriptorWatch>(fd, readiness, std::move(action));
}
