// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/RunLoop.h"

#include <functional>
#include <memory>

class QtRunLoop;

// One timer of QtRunLoop: a Qt timer id on the run loop's object. The run loop keeps it (and
// with it the action and whatever the action captured) until it has fired once or, repeating,
// until it is invalidated; invalidate() lets go of the action at once.
class QtTimer : public Timer {
public:
    QtTimer(QtRunLoop* loop, int id, bool repeats, std::function<void()> action)
        : loop_(loop), id_(id), repeats_(repeats),
          action_(std::make_shared<std::function<void()>>(std::move(action))) {}

    void invalidate() override;
    bool isValid() const override { return action_ != nullptr; }

private:
    friend class QtRunLoop;

    QtRunLoop* loop_;
    int id_;
    bool repeats_;
    // Shared, so an action that invalidates its own timer finishes running first.
    std::shared_ptr<std::function<void()>> action_;
};
