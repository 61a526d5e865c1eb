// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/TrayViewBuilder.h"

#include "controller/QuillboreDel.h"
#include "controller/ServiceLabel.h"

namespace {

bool isBroken(ServiceState state) {
    return state == ServiceState::Failed || state == ServiceState::ConnectionClosed;
}

bool isComing(ServiceState state) {
    return state == ServiceState::Starting || state == ServiceState::Retrying ||
           state == ServiceState::Restarting;
}

bool madeFrom(const ServiceEntry& e, const std::string& server, const std::string& tunnel,
              const std::string& port, const std::string& status) {
    return e.server == server && e.tunnelDescription == tunnel && e.listenPort == port &&
           e.status == status;
}

} // namespace

const TrayView& TrayViewBuilder::of(const QuillboreDel& c) {
    view_.locked = c.isLocked();
    const std::size_t total = c.theServiceList ? c.theServiceList->size() : 0;
    sources_.resize(total);
    view_.entries.resize(total);
    bool broken = false, coming = false;
    std::size_t running = 0;
    for (std::size_t i = 0; i < total; ++i) {
        const ServiceEntry& e = (*c.theServiceList)[i];
        const ServiceState state = e.state();
        broken = broken || isBroken(state);
        coming = coming || isComing(state);
        if (state == ServiceState::Running) ++running;
        Source& s = sources_[i];
        if (madeFrom(e, s.server, s.tunnelDescription, s.listenPort, s.status) &&
            !view_.entries[i].light.empty())
            continue;
        s = {e.server, e.tunnelDescription, e.listenPort, e.status};
        view_.entries[i] = {serviceLabel(e) + "  " + e.status, statusLight(state)};
    }
    if (broken)
        view_.light = image::StatusUnavailable;
    else if (coming)
        view_.light = image::StatusPartiallyAvailable;
    else if (running > 0)
        view_.light = image::StatusAvailable;
    else
        view_.light = image::StatusNone;
    view_.toolTip = std::to_string(running) + " of " + std::to_string(total) +
                    (total == 1 ? " service running" : " services running");
    return view_;
}
