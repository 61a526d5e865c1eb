#include "QtRunLoop.h"

#include "QtDescriptorWatch.h"
#include "QtTimer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <algorithm>
#include <cmath>

namespace {

// How long a paint may wait during a pause: about one frame.
constexpr qint64 kPaintSliceMs = 15;

} // namespace

QtRunLoop::QtRunLoop() = default;

QtRunLoop::~QtRunLoop() {
    auto pending = std::move(pending_);
    for (auto& [raw, timer] : pending)
        timer->detach();
}

std::shared_ptr<Timer> QtRunLoop::scheduleOnce(double seconds, std::function<void()> action) {
    return schedule(seconds, false, std::move(action));
}

std::shared_ptr<Timer> QtRunLoop::scheduleRepeating(double seconds, std::function<void()> action) {
    return schedule(seconds, true, std::move(action));
}

std::shared_ptr<Timer> QtRunLoop::scheduleOnceExactly(double seconds,
                                                      std::function<void()> action) {
    return schedule(seconds, false, std::move(action), true);
}

std::shared_ptr<Timer> QtRunLoop::schedule(double seconds, bool repeats,
                                           std::function<void()> action, bool precise) {
    auto timer = std::make_shared<QtTimer>(this, &timerParent_, seconds, repeats, std::move(action),
                                           precise);
    pending_.emplace(timer.get(), timer);
    timer->start();
    return timer;
}

void QtRunLoop::forget(QtTimer* timer) {
    // Moved out first: the timer may be destroyed when its last reference goes.
    auto it = pending_.find(timer);
    if (it == pending_.end()) return;
    auto keep = std::move(it->second);
    pending_.erase(it);
}

void QtRunLoop::pause(double seconds) {
    const auto ms = static_cast<qint64>(std::lround(std::max(0.0, seconds) * 1000.0));
    const QDeadlineTimer deadline(ms);
    if (!QCoreApplication::instance()) {
        QThread::msleep(static_cast<unsigned long>(ms));
        return;
    }
    // Window-system events other than input (expose, resize) and posted events (paint,
    // layout) are delivered; input stays queued for after the pause, timers are not run.
    constexpr QEventLoop::ProcessEventsFlags flags = QEventLoop::ExcludeUserInputEvents |
                                                     QEventLoop::ExcludeSocketNotifiers |
                                                     QEventLoop::X11ExcludeTimers;
    for (;;) {
        QCoreApplication::processEvents(flags);
        const qint64 left = deadline.remainingTime();
        if (left <= 0) break;
        QThread::msleep(static_cast<unsigned long>(std::min(left, kPaintSliceMs)));
    }
}

std::shared_ptr<DescriptorWatch> QtRunLoop::watchDescriptor(int fd, Readiness readiness,
                                                            std::function<void()> action) {
    return std::make_shared<QtDescriptorWatch>(fd, readiness, std::move(action));
}
