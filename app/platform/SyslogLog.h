// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/SystemLog.h"

// Writes each line to syslog(3) at LOG_NOTICE under the ident "QuillboreSSH", as it is.
class SyslogLog : public SystemLog {
public:
    SyslogLog();
    void write(const std::string& line) override;
};
