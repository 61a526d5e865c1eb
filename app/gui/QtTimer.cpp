#include "QtTimer.h"

#include "QtRunLoop.h"

QtTimer::QtTimer(QtRunLoop* loop, int milliseconds, Qt::TimerType type, bool repeats,
                 std::function<void()> action)
    : loop_(loop), action_(std::make_shared<std::function<void()>>(std::move(action))) {
    timer_.setTimerType(type);
    timer_.setSingleShot(!repeats);
    timer_.setInterval(milliseconds);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { fire(); });
}

void QtTimer::invalidate() {
    release();
}

void QtTimer::release() {
    timer_.stop();
    // Moved out first: what the action captured may schedule or invalidate timers as it goes.
    auto action = std::move(action_);
    if (loop_) loop_->forget(this);
}

void QtTimer::fire() {
    // Both live until the action returns, whatever it invalidates or drops meanwhile; the
    // QTimer may then go with this object, which Qt allows from within its own timeout.
    const auto self = shared_from_this();
    const auto action = action_;
    if (!action) return;
    if (timer_.isSingleShot()) release();
    if (*action) (*action)();
}
