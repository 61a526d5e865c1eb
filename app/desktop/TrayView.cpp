#include "desktop/TrayView.h"

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

} // namespace

TrayView TrayView::of(const QuillboreDel& c) {
    TrayView view;
    view.locked = c.isLocked();
    bool broken = false, coming = false;
    std::size_t running = 0, total = 0;
    if (c.theServiceList) {
        total = c.theServiceList->size();
        for (const ServiceEntry& e : *c.theServiceList) {
            const ServiceState state = e.state();
            broken = broken || isBroken(state);
            coming = coming || isComing(state);
            if (state == ServiceState::Running) ++running;
            view.entries.push_back({serviceLabel(e) + "  " + e.status, statusLight(state)});
        }
    }
    if (broken)
        view.light = image::StatusUnavailable;
    else if (coming)
        view.light = image::StatusPartiallyAvailable;
    else if (running > 0)
        view.light = image::StatusAvailable;
    else
        view.light = image::StatusNone;
    view.toolTip = std::to_string(running) + " of " + std::to_string(total) +
                   (total == 1 ? " service running" : " services running");
    return view;
}
