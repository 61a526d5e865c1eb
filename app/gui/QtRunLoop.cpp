#include "QtRunLoop.h"

#include "QtDescriptorWatch.h"
#include "QtTimer.h"
#include "platform/TimerSlack.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace {

std::int64_t steadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t toNanoseconds(double seconds) {
    if (!(seconds > 0)) return 0;
    return std::llround(std::min(seconds, 1e9) * 1e9);
}

// A timer scheduled by the action of a timer that fired late counts from when that timer was
// due, by up to this much: a step that fired 2 ms after the whole second schedules its
// successor for the next whole second, not 50 ms past it.
constexpr std::int64_t kForgivenLateness = 5 * timerslack::kMillisecond;

// Timers due within this much of a wake-up fire in it.
constexpr std::int64_t kWakeGrace = timerslack::kMillisecond;

constexpr std::int64_t kShortestRepeat = timerslack::kMillisecond;

// How long a paint may wait during a pause: about one frame.
constexpr qint64 kPaintSliceMs = 15;

} // namespace

QtRunLoop::QtRunLoop() {
    wake_.setTimerType(Qt::PreciseTimer);
    wake_.setSingleShot(true);
    QObject::connect(&wake_, &QTimer::timeout, [this] {
        armedFor_.reset();
        fireDue();
    });
}

QtRunLoop::~QtRunLoop() {
    auto pending = std::move(queue_);
    for (auto& [key, timer] : pending) {
        timer->loop_ = nullptr;
        timer->valid_ = false;
        timer->action_.reset();
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

std::int64_t QtRunLoop::earliestFor(std::int64_t interval) const {
    // A timer scheduled by the action of a timer counts from when that timer was due, if that
    // was at most a few milliseconds ago: the steps of one wake-up all land on the same next
    // instant, whether the wake-up came a little late or the actions before took a while.
    // Never more than that: a step comes at most kForgivenLateness before its interval.
    const std::int64_t now = steadyNow();
    const std::int64_t from = firingDue_ ? std::max(*firingDue_, now - kForgivenLateness) : now;
    return std::min(from, now) + interval;
}

std::shared_ptr<Timer> QtRunLoop::schedule(double seconds, bool repeats, bool exact,
                                           std::function<void()> action) {
    std::int64_t interval = toNanoseconds(seconds);
    if (repeats) interval = std::max(interval, kShortestRepeat);
    auto timer = std::make_shared<QtTimer>(this, interval, repeats, std::move(action));
    const std::int64_t earliest = exact ? steadyNow() + interval : earliestFor(interval);
    enqueue(timer, exact ? earliest : timerslack::dueTime(earliest, interval));
    arm(); // nothing to do when an earlier timer is armed already
    return timer;
}

void QtRunLoop::enqueue(const std::shared_ptr<QtTimer>& timer, std::int64_t due) {
    timer->due_ = due;
    timer->sequence_ = nextSequence_++;
    queue_.emplace(Key{due, timer->sequence_}, timer);
}

void QtRunLoop::forget(QtTimer* timer) {
    // Moved out first: the timer may be destroyed when its last reference goes.
    auto it = queue_.find(Key{timer->due_, timer->sequence_});
    if (it == queue_.end() || it->second.get() != timer) return;
    auto keep = std::move(it->second);
    queue_.erase(it);
}

void QtRunLoop::fireDue() {
    const std::int64_t now = steadyNow();
    std::vector<std::shared_ptr<QtTimer>> due;
    while (!queue_.empty() && queue_.begin()->first.first <= now + kWakeGrace) {
        due.push_back(std::move(queue_.begin()->second));
        queue_.erase(queue_.begin());
    }
    // Armed before the actions run: one of them may open a nested event loop (a modal
    // dialog), in which later timers must still fire.
    arm();
    for (auto& timer : due) {
        if (!timer->valid_) continue; // invalidated by an action earlier in this wake-up
        auto action = timer->action_;
        const std::int64_t wasDue = timer->due_;
        if (timer->repeats_) {
            std::int64_t next = wasDue + timer->interval_;
            if (next <= now) next = now + timer->interval_; // fell behind: keep no backlog
            enqueue(timer, timerslack::dueTime(next, timer->interval_));
            arm();
        } else {
            timer->valid_ = false;
            timer->action_.reset();
        }
        const auto outerDue = std::exchange(firingDue_, wasDue);
        if (action && *action) (*action)();
        firingDue_ = outerDue;
    }
    arm();
}

void QtRunLoop::arm() {
    if (queue_.empty()) {
        wake_.stop();
        armedFor_.reset();
        return;
    }
    const std::int64_t first = queue_.begin()->first.first;
    if (armedFor_ && *armedFor_ == first && wake_.isActive()) return;
    const std::int64_t wait = std::max<std::int64_t>(0, first - steadyNow());
    // Whole milliseconds, rounded up: the precise timer never fires before `first`.
    const auto ms = (wait + timerslack::kMillisecond - 1) / timerslack::kMillisecond;
    wake_.start(static_cast<int>(std::min<std::int64_t>(ms, 0x7fffffff)));
    armedFor_ = first;
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
