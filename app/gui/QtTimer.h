#pragma once

#include "platform/RunLoop.h"

#include <cstdint>
#include <functional>
#include <memory>

class QtRunLoop;

// One timer of QtRunLoop: a place in its queue. The run loop keeps it (and with it the action
// and whatever the action captured) until it has fired once or, repeating, until it is
// invalidated.
class QtTimer : public Timer {
public:
    QtTimer(QtRunLoop* loop, std::int64_t interval, bool repeats, std::function<void()> action);

    void invalidate() override;
    bool isValid() const override { return valid_; }

private:
    friend class QtRunLoop;

    QtRunLoop* loop_;
    std::int64_t interval_; // nanoseconds
    bool repeats_;
    bool valid_ = true;
    std::int64_t due_ = 0;
    unsigned long sequence_ = 0;
    // Shared, so an action that invalidates its own timer finishes running first.
    std::shared_ptr<std::function<void()>> action_;
};
