// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/ServiceNotices.h"

#include "controller/ServiceEntry.h"
#include "controller/ServiceLabel.h"

namespace {

constexpr const char kSeparator = '\n';

// The service's identity, not its address in memory, which a later service may reuse.
std::string keyOf(const ServiceEntry& entry) {
    return std::to_string(entry.service->identity());
}

} // namespace

ServiceNotices::ServiceNotices(RunLoop& runLoop, Notifier& notifier,
                               std::function<bool()> mainWindowActive)
    : notifier_(notifier), mainWindowActive_(std::move(mainWindowActive)),
      throttle_(runLoop, kWindowSeconds, [this](const std::string& key, const std::string& text) {
          if (mainWindowActive_ && mainWindowActive_()) return;
          const auto cut = text.find(kSeparator);
          notifier_.show(key, text.substr(0, cut), text.substr(cut + 1));
      }) {}

void ServiceNotices::statusChanged(const ServiceEntry& entry) {
    if (!entry.service) return;
    const std::string key = keyOf(entry);
    const ServiceState state = entry.state();
    const bool wasDown = down_.count(key) > 0;
    // Once per outage: the tries of a service being restarted are no news, nor is another
    // connection closing meanwhile. A start by the user that fails is news all the same.
    const bool fell = !wasDown && (state == ServiceState::Failed ||
                                   (state == ServiceState::ConnectionClosed && down_.empty()));
    if (fell && state == ServiceState::ConnectionClosed) outageKey_ = key;

    // Only the supervision's own restarts count; a start by the user after a fall is no news.
    if (state == ServiceState::Retrying || state == ServiceState::Restarting) down_.insert(key);
    if (state == ServiceState::Running || state == ServiceState::Idle) down_.erase(key);
    const bool back = state == ServiceState::Running && wasDown && down_.empty();
    // Stopped by the user: a folded notice still waiting would only tell old news.
    if (state == ServiceState::Idle) {
        throttle_.drop(key);
        if (key == outageKey_) outageKey_.clear();
    }
    if (!fell && !back) return;
    const std::string slot = back && !outageKey_.empty() ? outageKey_ : key;
    if (back) outageKey_.clear();
    if (mainWindowActive_ && mainWindowActive_()) return;
    throttle_.post(slot, serviceLabel(entry) + kSeparator + entry.status);
}
