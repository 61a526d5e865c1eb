// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ChildProcess.h"

// Makes real child processes (PosixProcess).
class PosixProcessLauncher : public ProcessLauncher {
public:
    std::unique_ptr<ChildProcess> create() override;
};
