// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controller/ServiceState.h"
#include "tunnel/SSHTunnel.h"

#include <memory>
#include <string>

// One service, one row of the table. Treated as immutable: a change builds a new entry
// that takes over the tunnel.
struct ServiceEntry {
    std::string server;            // "1"
    std::string listenPort;        // "2"
    std::string status;            // "3"
    std::string user;              // "4"
    std::string password;          // "5"
    std::string tunnelDescription; // "6"
    std::shared_ptr<SSHTunnel> service;

    // The state the status text stands for.
    ServiceState state() const { return serviceStateOf(status); }

    ServiceEntry withStatus(const std::string& newStatus) const {
        ServiceEntry e = *this;
        e.status = newStatus;
        return e;
    }
};
