// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/RunLoop.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

// At most one notice per key in every `window` seconds. The first notice goes out at once
// and opens the window; later ones within it fold into one, the last, sent when the window
// closes (which opens the next window). The clock is the run loop's timers.
class NoticeThrottle {
public:
    using Send = std::function<void(const std::string& key, const std::string& body)>;

    NoticeThrottle(RunLoop& runLoop, double window, Send send);
    ~NoticeThrottle();

    void post(const std::string& key, const std::string& body);
    // Forgets a pending notice (a newer state made it pointless).
    void drop(const std::string& key);

private:
    struct Slot {
        std::shared_ptr<Timer> timer;
        std::string pending;
        bool hasPending = false;
    };
    void open(const std::string& key);
    void close(const std::string& key);

    RunLoop& runLoop_;
    double window_;
    Send send_;
    std::map<std::string, Slot> slots_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
