// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop/NoticeThrottle.h"
#include "desktop/Notifier.h"

#include <functional>
#include <set>
#include <string>

struct ServiceEntry;

// Turns status changes into desktop notices: a service that shows "Failed..." or
// "Connection Closed...", and one that shows "Running..." again after the supervision
// restarted it. Only while the main window is not the active window, at most one notice per
// service every 30 seconds. An outage is told once: while the supervision is restarting any
// service, a further connection that closes is no news, and the outage's end (the last of them
// running again) is one notice, in the place of its first.
class ServiceNotices {
public:
    static constexpr double kWindowSeconds = 30.0;

    ServiceNotices(RunLoop& runLoop, Notifier& notifier, std::function<bool()> mainWindowActive);

    void statusChanged(const ServiceEntry& entry);

private:
    Notifier& notifier_;
    std::function<bool()> mainWindowActive_;
    NoticeThrottle throttle_;
    std::set<std::string> down_; // services restarted by the supervision, not yet up again
    std::string outageKey_;      // the service whose fall began the current outage
};
