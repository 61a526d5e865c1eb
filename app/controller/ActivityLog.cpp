// SPDX-License-Identifier: GPL-3.0-or-later
#include "controller/ActivityLog.h"

#include <ctime>

void ActivityLog::add(Time time, const std::string& service, const std::string& text, bool event) {
    entries_.push_back({time, service, text, event});
    while (entries_.size() > kMaxEntries)
        entries_.pop_front();
    if (onAdd) onAdd(entries_.back());
}

void ActivityLog::clear() {
    entries_.clear();
    if (onClear) onClear();
}

std::string ActivityLog::timeOfDay(Time time) {
    const std::time_t t = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    ::localtime_r(&t, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

std::string ActivityLog::format(const Entry& entry) {
    return timeOfDay(entry.time) + "  " + entry.service + (entry.event ? "  * " : "  | ") +
           entry.text;
}
