#pragma once

#include "platform/RunLoop.h"

#include <QTimer>
#include <functional>
#include <memory>

class QtRunLoop;

// One timer of QtRunLoop: a QTimer of its own on the main event loop. The run loop keeps it
// (and with it the action and whatever the action captured) until it has fired once or,
// repeating, until it is invalidated; invalidate() lets go of the action at once.
class QtTimer : public Timer, public std::enable_shared_from_this<QtTimer> {
public:
    QtTimer(QtRunLoop* loop, int milliseconds, Qt::TimerType type, bool repeats,
            std::function<void()> action);

    void invalidate() override;
    bool isValid() const override { return action_ != nullptr; }

private:
    friend class QtRunLoop;

    void fire();
    // Stops the timer and lets go of the action; the run loop forgets it.
    void release();

    QtRunLoop* loop_;
    QTimer timer_;
    // Shared, so an action that invalidates its own timer finishes running first.
    std::shared_ptr<std::function<void()>> action_;
};
