// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <string>

// What the log window shows: the lines the services' children wrote and the application's own
// events about each service (start, stop, status changes, forward warnings), oldest first.
// Bounded: the oldest entries go beyond kMaxEntries.
class ActivityLog {
public:
    using Time = std::chrono::system_clock::time_point;
    struct Entry {
        Time time;
        std::string service; // serviceLabel()
        std::string text;
        bool event = false; // ours, not the child's
    };

    static constexpr std::size_t kMaxEntries = 5000;

    void add(Time time, const std::string& service, const std::string& text, bool event);
    void clear();
    const std::deque<Entry>& entries() const { return entries_; }

    // "HH:MM:SS" in local time.
    static std::string timeOfDay(Time time);
    // One line of the log window: time, service, then the child's text after "|" or our own
    // event after "*".
    static std::string format(const Entry& entry);

    // Set by the log window.
    std::function<void(const Entry&)> onAdd;
    std::function<void()> onClear;

private:
    std::deque<Entry> entries_;
};
