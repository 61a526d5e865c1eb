// SPDX-License-Identifier: GPL-3.0-or-later
#include "ManualRunLoop.h"

#include <algorithm>
#include <poll.h>

struct ManualRunLoop::Entry : Timer {
    double due = 0;
    double interval = 0;
    bool repeating = false;
    bool valid = true;
    unsigned long sequence = 0;
    std::function<void()> action;

    void invalidate() override {
        valid = false;
        action = nullptr; // drop what the action keeps alive, as a real timer would
    }
    bool isValid() const override { return valid; }
};

std::shared_ptr<Timer> ManualRunLoop::scheduleOnce(double seconds, std::function<void()> action) {
    auto e = std::make_shared<Entry>();
    e->due = now_ + seconds;
    e->sequence = nextSequence_++;
    e->action = std::move(action);
    timers_.push_back(e);
    return e;
}

std::shared_ptr<Timer> ManualRunLoop::scheduleRepeating(double seconds,
                                                        std::function<void()> action) {
    auto e = std::static_pointer_cast<Entry>(scheduleOnce(seconds, std::move(action)));
    e->repeating = true;
    e->interval = seconds;
    return e;
}

void ManualRunLoop::advance(double seconds) {
    const double target = now_ + seconds + 1e-9;
    for (;;) {
        std::erase_if(timers_, [](const auto& e) { return !e->valid; });
        auto next =
            std::min_element(timers_.begin(), timers_.end(), [](const auto& a, const auto& b) {
                return a->due < b->due || (a->due == b->due && a->sequence < b->sequence);
            });
        if (next == timers_.end() || (*next)->due > target) break;
        std::shared_ptr<Entry> e = *next;
        now_ = std::max(now_, e->due);
        std::function<void()> action = e->action;
        if (e->repeating) {
            e->due += e->interval;
            e->sequence = nextSequence_++;
        } else {
            e->invalidate();
        }
        if (action) action();
    }
    now_ = std::max(now_, target - 1e-9);
}

std::size_t ManualRunLoop::pendingTimers() const {
    return static_cast<std::size_t>(
        std::count_if(timers_.begin(), timers_.end(), [](const auto& e) { return e->valid; }));
}

std::shared_ptr<DescriptorWatch> ManualRunLoop::watchDescriptor(int fd, Readiness readiness,
                                                                std::function<void()> action) {
    auto w = PollWatch::make(fd, readiness, std::move(action));
    watches_.push_back(w);
    return w;
}

std::chrono::system_clock::time_point ManualRunLoop::wallClock() const {
    using namespace std::chrono;
    return system_clock::time_point(seconds(1767225600)) +
           duration_cast<system_clock::duration>(duration<double>(now_));
}

int ManualRunLoop::fireReadyDescriptors(int rounds) {
    int fired = 0;
    for (int round = 0; round < rounds; ++round) {
        std::erase_if(watches_, [](const auto& weak) {
            auto w = weak.lock();
            return !w || !w->valid;
        });
        bool any = false;
        for (std::size_t i = 0; i < watches_.size(); ++i) {
            auto w = watches_[i].lock();
            if (!w || !w->valid) continue;
            pollfd p{w->fd, w->events, 0};
            if (::poll(&p, 1, 0) != 1) continue;
            auto action = w->action;
            if (action) {
                action();
                ++fired;
                any = true;
            }
        }
        if (!any) break;
    }
    return fired;
}

std::size_t ManualRunLoop::watchedDescriptors() const {
    return static_cast<std::size_t>(
        std::count_if(watches_.begin(), watches_.end(), [](const auto& weak) {
            auto w = weak.lock();
            return w && w->valid;
        }));
}

std::chrono::steady_clock::time_point ManualRunLoop::monotonicClock() const {
    using namespace std::chrono;
    return steady_clock::time_point(duration_cast<steady_clock::duration>(duration<double>(now_)));
}
