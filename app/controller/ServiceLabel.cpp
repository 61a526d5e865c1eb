// SPDX-License-Identifier: GPL-3.0-or-later
#include "controller/ServiceLabel.h"

#include "controller/ServiceEntry.h"
#include "controller/TunnelDescription.h"

std::string tunnelLabel(const std::string& tunnelDescription) {
    const TunnelDescription d = TunnelDescription::read(tunnelDescription);
    switch (d.kind) {
    case TunnelDescription::Kind::Socks:
        return "SOCKS";
    case TunnelDescription::Kind::Local:
        return "local " + d.forwardAddress;
    case TunnelDescription::Kind::Reverse:
        return "reverse " + d.forwardAddress;
    }
    return {};
}

std::string serviceLabel(const std::string& server, const std::string& tunnelDescription,
                         const std::string& listenPort) {
    return server + "  " + tunnelLabel(tunnelDescription) + " :" + listenPort;
}

std::string serviceLabel(const ServiceEntry& e) {
    return serviceLabel(e.server, e.tunnelDescription, e.listenPort);
}

std::string serviceLabel(const SSHTunnel& t) {
    return serviceLabel(t.server(), t.tunnelMode(), t.listenPort());
}
