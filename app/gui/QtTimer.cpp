#include "QtTimer.h"

#include "QtRunLoop.h"

#include <algorithm>
#include <cmath>

QtTimer::QtTimer(QtRunLoop* loop, QObject* timerParent, double seconds, bool repeats,
                 std::function<void()> action, bool precise)
    : loop_(loop), timer_(new QTimer(timerParent)), repeats_(repeats),
      action_(std::make_shared<std::function<void()>>(std::move(action))) {
    // Coarse (5 % slack) lets the event loop wake once for the polls of many tunnels; a
    // precise one fires within a millisecond or so of its interval, never early.
    timer_->setTimerType(precise ? Qt::PreciseTimer : Qt::CoarseTimer);
    timer_->setSingleShot(!repeats);
    timer_->setInterval(static_cast<int>(std::lround(std::max(0.0, seconds) * 1000.0)));
}

QtTimer::~QtTimer() {
    if (timer_) {
        timer_->stop();
        // Possibly inside the timer's own timeout signal: delete from the event loop.
        timer_->deleteLater();
    }
}

void QtTimer::start() {
    // The connection holds a weak reference: the run loop owns the timer.
    std::weak_ptr<QtTimer> weak = weak_from_this();
    QObject::connect(timer_, &QTimer::timeout, timer_, [weak] {
        if (auto self = weak.lock()) self->fire();
    });
    timer_->start();
}

void QtTimer::fire() {
    if (!valid_) return;
    auto keepAlive = shared_from_this();
    auto action = action_;
    if (!repeats_) finish();
    if (action && *action) (*action)();
}

void QtTimer::invalidate() {
    if (valid_) finish();
}

void QtTimer::finish() {
    auto keepAlive = shared_from_this(); // the run loop may hold the last reference
    valid_ = false;
    if (timer_) timer_->stop();
    action_.reset();
    if (loop_) loop_->forget(this);
}

void QtTimer::detach() {
    loop_ = nullptr;
    valid_ = false;
    if (timer_) timer_->stop();
    action_.reset();
}
