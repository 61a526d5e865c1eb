#include "desktop/ServiceLabel.h"

#include "controller/ServiceEntry.h"
#include "controller/TunnelDescription.h"

std::string serviceLabel(const ServiceEntry& e) {
    const TunnelDescription d = TunnelDescription::read(e.tunnelDescription);
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
    return e.server + "  " + tunnel + " :" + e.listenPort;
}
