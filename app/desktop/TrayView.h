// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

class QuillboreDel;

// What the tray icon shows, read from the controller: one light for all services, a tool
// tip, and one menu entry per service. Lights are the table's named status images.
struct TrayView {
    struct Entry {
        std::string label; // server, tunnel and status
        std::string light;
        bool operator==(const Entry&) const = default;
    };

    std::string light;
    std::string toolTip;
    std::vector<Entry> entries;
    bool locked = false;

    bool operator==(const TrayView&) const = default;

    // Red when any service shows "Failed..." or "Connection Closed...", yellow while any is
    // starting or being restarted, green when a service runs and all others started do too,
    // grey when none runs.
    static TrayView of(const QuillboreDel& controller);
};
