#include "controller/ServiceLabel.h"

#include "controller/ServiceEntry.h"
#include "controller/TunnelDescription.h"

std::string serviceLabel(const std::string& server, const std::string& tunnelDescription,
                         const std::string& listenPort) {
    const TunnelDescription d = TunnelDescription::read(tunnelDescription);
    std::string tunnel;
    switch (d.kind) {
    case TunnelDescription::Kind::Socks:
        tunnel = "SOCKS";
        break;
    case TunnelDescription::Kind::Local:
        tunnel = "local " + d.forwardAddress;
        break;
    case TunnelDescription::Kind::Reverse:
        tunnel = "reverse " + d.forwardAddress;
        break;
    }
    return server + "  " + tunnel + " :" + listenPort;
}

std::string serviceLabel(const ServiceEntry& e) {
    return serviceLabel(e.server, e.tunnelDescription, e.listenPort);
}

std::string serviceLabel(const SSHTunnel& t) {
    return serviceLabel(t.server(), t.tunnelMode(), t.listenPort());
}
