#include "platform/PosixProcessLauncher.h"

#include "platform/PosixProcess.h"

std::unique_ptr<ChildProcess> PosixProcessLauncher::create() {
    return std::make_unique<PosixProcess>();
}
