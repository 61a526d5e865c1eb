// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>

// A pending timer. invalidate() stops it from firing again; it is harmless on a timer
// that has already fired or was already invalidated.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};

// A watched file descriptor. invalidate() (or dropping the last handle) stops the calls; it is
// harmless when repeated. Invalidate it before the descriptor is closed.
class DescriptorWatch {
public:
    virtual ~DescriptorWatch() = default;
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};

// The main thread's event loop as the logic sees it: timers that call back on that thread
// and clocks. Passed in wherever time matters, never reached globally.
// A callback keeps whatever it captures alive until the timer has fired (or been invalidated).
class RunLoop {
public:
    virtual ~RunLoop() = default;

    // Fires once, about `seconds` from now. A run loop may move it by a few percent of
    // `seconds`, earlier or later, so that it shares a wake-up with other timers.
    virtual std::shared_ptr<Timer> scheduleOnce(double seconds, std::function<void()> action) = 0;

    // Fires once, `seconds` from now and never before, without that leeway: for a timer
    // whose timing is seen (the first status check of a tunnel).
    virtual std::shared_ptr<Timer> scheduleOnceExactly(double seconds,
                                                       std::function<void()> action) {
        return scheduleOnce(seconds, std::move(action));
    }

    // Fires every `seconds` (with the leeway of scheduleOnce), first `seconds` from now,
    // until invalidated.
    virtual std::shared_ptr<Timer> scheduleRepeating(double seconds,
                                                     std::function<void()> action) = 0;

    enum class Readiness { Read, Write };
    // Calls `action` on this thread whenever `fd` can be read (or written) without blocking,
    // end of file and errors included, for as long as the returned handle is kept and valid.
    // The action must consume what makes the descriptor ready, or invalidate the watch.
    virtual std::shared_ptr<DescriptorWatch> watchDescriptor(int fd, Readiness readiness,
                                                             std::function<void()> action) = 0;

    // The time of day, for stamping what is logged; a manual clock in tests.
    virtual std::chrono::system_clock::time_point wallClock() const {
        return std::chrono::system_clock::now();
    }
    // A clock that only moves forward, for durations; the same manual clock in tests.
    virtual std::chrono::steady_clock::time_point monotonicClock() const {
        return std::chrono::steady_clock::now();
    }
};
