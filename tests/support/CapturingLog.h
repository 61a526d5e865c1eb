// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/SystemLog.h"

#include <algorithm>
#include <string>
#include <vector>

class CapturingLog : public SystemLog {
public:
    void write(const std::string& line) override { lines.push_back(line); }
    bool contains(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    std::vector<std::string> lines;
};
