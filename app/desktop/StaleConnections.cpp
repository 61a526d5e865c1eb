// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/StaleConnections.h"

#include "controller/QuillboreDel.h"

int StaleConnections::renew() {
    if (!c_.recon || !c_.theServiceList) return 0;
    int ended = 0;
    for (const ServiceEntry& entry : *c_.theServiceList) {
        // Only services that are up: a child still starting is new anyway, and ending it
        // before its first status check would read as a failed start.
        if (!entry.service || !entry.service->isRunning() || entry.state() != ServiceState::Running)
            continue;
        if (ChildProcess* child = entry.service->currentTask(); child && child->isRunning()) {
            child->terminate();
            ++ended;
        }
    }
    if (ended > 0) c_.log().write("renewing " + std::to_string(ended) + " connections");
    return ended;
}
