#pragma once

#include "platform/RunLoop.h"

#include <QTimer>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>

class QtTimer;

// Timers on the Qt main event loop, kept in one queue behind one precise QTimer: every timer
// due at the same instant fires in the same wake-up. Each due time is placed in its allowed
// window by timerslack::dueTime, so the once-a-second timers of many tunnels share one
// wake-up without firing before their interval or more than 50 ms after it.
// The pause holds the main thread: timers, user input and socket notifiers wait until it
// ends, but the windows keep being exposed and painted, so an alert shown just before the
// pause is readable during it.
class QtRunLoop : public RunLoop {
public:
    QtRunLoop();
    ~QtRunLoop() override;

    std::shared_ptr<Timer> scheduleOnce(double seconds, std::function<void()> action) override;
    std::shared_ptr<Timer> scheduleOnceExactly(double seconds,
                                               std::function<void()> action) override;
    std::shared_ptr<Timer> scheduleRepeating(double seconds, std::function<void()> action) override;
    void pause(double seconds) override;
    std::shared_ptr<DescriptorWatch> watchDescriptor(int fd, Readiness readiness,
                                                     std::function<void()> action) override;

    std::size_t pendingTimers() const { return queue_.size(); }

private:
    friend class QtTimer;
    using Key = std::pair<std::int64_t, unsigned long>; // due time, order of scheduling

    std::shared_ptr<Timer> schedule(double seconds, bool repeats, bool exact,
                                    std::function<void()> action);
    std::int64_t earliestFor(std::int64_t interval) const;
    void enqueue(const std::shared_ptr<QtTimer>& timer, std::int64_t due);
    void forget(QtTimer* timer);
    void fireDue();
    void arm();

    QTimer wake_;
    std::optional<std::int64_t> armedFor_;
    std::map<Key, std::shared_ptr<QtTimer>> queue_;
    unsigned long nextSequence_ = 0;
    // While a timer's action runs: when that timer was due.
    std::optional<std::int64_t> firingDue_;
};
