#include "desktop/ServiceNotices.h"

#include "controller/ServiceEntry.h"
#include "desktop/ServiceLabel.h"

#include <cstdio>

namespace {

constexpr const char kSeparator = '\n';

std::string keyOf(const ServiceEntry& entry) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%p", static_cast<const void*>(entry.service.get()));
    return buffer;
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
    const std::string& status = entry.status;
    const bool fell = status == "Failed..." || status == "Connection Closed...";
    const bool back = status == "Running..." && down_.count(key) > 0;

    // Only the supervision's own restarts count; a start by the user after a fall is no news.
    if (status == "Retrying..." || status == "Retring...") down_.insert(key);
    if (status == "Running..." || status == "Idle...") down_.erase(key);
    // Stopped by the user: a folded notice still waiting would only tell old news.
    if (status == "Idle...") throttle_.drop(key);
    if (!fell && !back) return;
    if (mainWindowActive_ && mainWindowActive_()) return;
    throttle_.post(key, serviceLabel(entry) + kSeparator + status);
}
