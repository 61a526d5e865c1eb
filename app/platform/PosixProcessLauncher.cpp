// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PosixProcessLauncher.h"

#include "platform/PosixProcess.h"

std::unique_ptr<ChildProcess> PosixProcessLauncher::create() {
    return std::make_unique<PosixProcess>();
}
