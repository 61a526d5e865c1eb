#pragma once

#include "platform/RunLoop.h"

#include <QObject>
#include <memory>
#include <unordered_map>

class QtTimer;

// Timers on the Qt main event loop. The pause holds the main thread: timers, user input and
// socket notifiers wait until it ends, but the windows keep being exposed and painted, so
// an alert shown just before the pause is readable during it.
class QtRunLoop : public RunLoop {
public:
    QtRunLoop();
    ~QtRunLoop() override;

    std::shared_ptr<Timer> scheduleOnce(double seconds, std::function<void()> action) override;
    std::shared_ptr<Timer> scheduleRepeating(double seconds, std::function<void()> action) override;
    std::shared_ptr<Timer> scheduleOnceExactly(double seconds,
                                               std::function<void()> action) override;
    void pause(double seconds) override;
    std::shared_ptr<DescriptorWatch> watchDescriptor(int fd, Readiness readiness,
                                                     std::function<void()> action) override;

    std::size_t pendingTimers() const { return pending_.size(); }

private:
    friend class QtTimer;
    std::shared_ptr<Timer> schedule(double seconds, bool repeats, std::function<void()> action,
                                    bool precise = false);
    void forget(QtTimer* timer);

    QObject timerParent_;
    std::unordered_map<QtTimer*, std::shared_ptr<QtTimer>> pending_;
};
