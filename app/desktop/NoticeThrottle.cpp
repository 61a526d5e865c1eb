// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/NoticeThrottle.h"

NoticeThrottle::NoticeThrottle(RunLoop& runLoop, double window, Send send)
    : runLoop_(runLoop), window_(window), send_(std::move(send)) {}

NoticeThrottle::~NoticeThrottle() {
    *alive_ = false;
    for (auto& [key, slot] : slots_)
        if (slot.timer) slot.timer->invalidate();
}

void NoticeThrottle::post(const std::string& key, const std::string& body) {
    auto it = slots_.find(key);
    if (it != slots_.end()) {
        it->second.pending = body;
        it->second.hasPending = true;
        return;
    }
    send_(key, body);
    open(key);
}

void NoticeThrottle::drop(const std::string& key) {
    auto it = slots_.find(key);
    if (it == slots_.end()) return;
    it->second.hasPending = false;
    it->second.pending.clear();
}

void NoticeThrottle::open(const std::string& key) {
    std::weak_ptr<bool> alive = alive_;
    slots_[key].timer = runLoop_.scheduleOnce(window_, [this, alive, key] {
        if (auto a = alive.lock(); a && *a) close(key);
    });
}

void NoticeThrottle::close(const std::string& key) {
    auto it = slots_.find(key);
    if (it == slots_.end()) return;
    if (!it->second.hasPending) {
        slots_.erase(it);
        return;
    }
    const std::string body = it->second.pending;
    it->second.hasPending = false;
    it->second.pending.clear();
    send_(key, body);
    open(key);
}
