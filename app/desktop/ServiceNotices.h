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
// service every 30 seconds, and no further one while the supervision is still restarting it.
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
};
