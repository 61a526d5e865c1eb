#pragma once

#include "platform/RunLoop.h"

#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

class QtRunLoop;

// One timer of QtRunLoop. The run loop keeps it (and with it the action and whatever the
// action captured) until it has fired once or, repeating, until it is invalidated.
class QtTimer : public Timer, public std::enable_shared_from_this<QtTimer> {
public:
    QtTimer(QtRunLoop* loop, QObject* timerParent, double seconds, bool repeats,
            std::function<void()> action, bool precise = false);
    ~QtTimer() override;

    void invalidate() override;
    bool isValid() const override { return valid_; }

    void start();
    void detach(); // the run loop is going away

private:
    void fire();
    void finish();

    QtRunLoop* loop_;
    QPointer<QTimer> timer_;
    bool repeats_;
    bool valid_ = true;
    // Shared, so an action that invalidates its own timer finishes running first.
    std::shared_ptr<std::function<void()>> action_;
};
