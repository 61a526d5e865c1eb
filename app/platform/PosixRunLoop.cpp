// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PosixRunLoop.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// NaN and negative delays mean "now"; absurdly long ones are capped so the clock cannot
// overflow.
Clock::duration toDuration(double seconds) {
    if (!(seconds > 0)) return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::min(seconds, 1e9)));
}

// Like other run loops, a repeating timer never spins on a zero or negative interval.
constexpr Clock::duration kShortestInterval = std::chrono::microseconds(100);

constexpr Clock::duration kDonePollInterval = std::chrono::milliseconds(10);

} // namespace

struct PosixRunLoop::Entry : Timer {
    Clock::time_point due;
    Clock::duration interval{};
    bool repeating = false;
    bool valid = true;
    unsigned long sequence = 0;
    std::function<void()> action;

    void invalidate() override {
        valid = false;
        action = nullptr; // releases what the action captured
    }
    bool isValid() const override { return valid; }
};

std::shared_ptr<DescriptorWatch> PosixRunLoop::watchDescriptor(int fd, Readiness readiness,
                                                               std::function<void()> action) {
    auto w = PollWatch::make(fd, readiness, std::move(action));
    watches_.push_back(w);
    return w;
}

std::shared_ptr<PosixRunLoop::Entry> PosixRunLoop::add(double seconds, bool repeating,
                                                       std::function<void()> action) {
    auto e = std::make_shared<Entry>();
    e->interval = toDuration(seconds);
    if (repeating) e->interval = std::max(e->interval, kShortestInterval);
    e->due = Clock::now() + e->interval;
    e->repeating = repeating;
    e->sequence = nextSequence_++;
    e->action = std::move(action);
    timers_.push_back(e);
    return e;
}

std::shared_ptr<Timer> PosixRunLoop::scheduleOnce(double seconds, std::function<void()> action) {
    return add(seconds, false, std::move(action));
}

std::shared_ptr<Timer> PosixRunLoop::scheduleRepeating(double seconds,
                                                       std::function<void()> action) {
    return add(seconds, true, std::move(action));
}

void PosixRunLoop::runFor(double seconds) {
    const auto deadline = Clock::now() + toDuration(seconds);
    for (;;) {
        if (fireOneDue(deadline)) continue;
        if (Clock::now() >= deadline) return;
        sleepUntil(nextDue(deadline));
    }
}

bool PosixRunLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
    const auto deadline = Clock::now() + toDuration(timeoutSeconds);
    if (done()) return true;
    for (;;) {
        if (fireOneDue(deadline)) {
            if (done()) return true;
            continue;
        }
        const auto now = Clock::now();
        if (now >= deadline) return false;
        sleepUntil(std::min(nextDue(deadline), now + kDonePollInterval));
        if (done()) return true;
    }
}

std::size_t PosixRunLoop::pendingTimers() const {
    return static_cast<std::size_t>(
        std::count_if(timers_.begin(), timers_.end(), [](const auto& e) { return e->valid; }));
}

bool PosixRunLoop::fireOneDue(Clock::time_point limit) {
    std::erase_if(timers_, [](const auto& e) { return !e->valid; });
    const auto now = Clock::now();
    auto next = std::min_element(timers_.begin(), timers_.end(), [](const auto& a, const auto& b) {
        return a->due < b->due || (a->due == b->due && a->sequence < b->sequence);
    });
    if (next == timers_.end() || (*next)->due > std::min(now, limit)) return false;

    std::shared_ptr<Entry> e = *next;
    std::function<void()> action = std::move(e->action);
    e->action = nullptr;
    if (e->repeating) {
        // Fires once for any number of missed turns, then keeps its cadence.
        auto due = e->due + e->interval;
        if (due <= now) due += e->interval * ((now - due) / e->interval + 1);
        e->due = due;
        e->sequence = nextSequence_++;
    } else {
        e->valid = false;
    }
    if (action) action();
    // A repeating timer gets its action back unless the action invalidated it meanwhile.
    if (e->repeating && e->valid && !e->action) e->action = std::move(action);
    return true;
}

PosixRunLoop::Clock::time_point PosixRunLoop::nextDue(Clock::time_point limit) {
    for (const auto& e : timers_)
        if (e->valid) limit = std::min(limit, e->due);
    return limit;
}

void PosixRunLoop::sleepUntil(Clock::time_point when) {
    std::erase_if(watches_, [](const auto& weak) {
        auto w = weak.lock();
        return !w || !w->valid;
    });
    if (watches_.empty()) {
        std::this_thread::sleep_until(when);
        return;
    }
    std::vector<std::shared_ptr<Watch>> watched;
    std::vector<pollfd> fds;
    for (const auto& weak : watches_) {
        auto w = weak.lock();
        watched.push_back(w);
        fds.push_back({w->fd, w->events, 0});
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
    const int timeout = static_cast<int>(std::clamp<long long>(left, 0, 60'000));
    if (::poll(fds.data(), fds.size(), timeout) <= 0) return;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0 || !watched[i]->valid) continue;
        // A copy: the action may invalidate its own watch.
        std::function<void()> action = watched[i]->action;
        if (action) action();
    }
}
