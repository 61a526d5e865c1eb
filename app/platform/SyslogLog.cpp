// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SyslogLog.h"

#include <syslog.h>

// No closelog() on destruction: the ident is process-wide, and closing it would strip it
// from any other instance still writing.
SyslogLog::SyslogLog() {
    ::openlog("QuillboreSSH", LOG_PID, LOG_USER);
}

void SyslogLog::write(const std::string& line) {
    ::syslog(LOG_NOTICE, "%s", line.c_str());
}
