#include "QtTimer.h"

#include "QtRunLoop.h"

QtTimer::QtTimer(QtRunLoop* loop, std::int64_t interval, bool repeats, std::function<void()> action)
    : loop_(loop), interval_(interval), repeats_(repeats),
      action_(std::make_shared<std::function<void()>>(std::move(action))) {}

void QtTimer::invalidate() {
    if (!valid_) return;
    valid_ = false;
    action_.reset();
    if (loop_) loop_->forget(this);
}
