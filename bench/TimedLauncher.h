// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TimedChild.h"
#include "platform/PosixProcessLauncher.h"

// The real launcher, with the checks of every child timed.
class TimedLauncher : public ProcessLauncher {
public:
    std::unique_ptr<ChildProcess> create() override {
        return std::make_unique<TimedChild>(real_.create(), times);
    }
    CheckTimes times;

private:
    PosixProcessLauncher real_;
};
