// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtTimer.h"

#include "QtRunLoop.h"

void QtTimer::invalidate() {
    // Moved out first: what the action captured may schedule or invalidate timers as it goes.
    auto action = std::move(action_);
    if (loop_) loop_->cancel(id_, this);
}
