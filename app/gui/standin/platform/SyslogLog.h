#pragma once
// Stand-in until the syslog class lands on main; removed then.
#include "platform/SystemLog.h"

#include <cstdio>

class SyslogLog : public SystemLog {
public:
    void write(const std::string& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }
};
