// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The system log as the application writes it: plain formatted lines, no levels or prefixes.
class SystemLog {
public:
    virtual ~SystemLog() = default;
    virtual void write(const std::string& line) = 0;
};
