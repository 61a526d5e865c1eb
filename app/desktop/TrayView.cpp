#include "desktop/TrayView.h"

#include "controller/QuillboreDel.h"
#include "desktop/ServiceLabel.h"

namespace {

bool isBroken(const std::string& status) {
    return status == "Failed..." || status == "Connection Closed...";
}

bool isComing(const std::string& status) {
    return status == "Starting..." || status == "Retrying..." || status == "Retring...";
}

// The light of one row, as the table draws it.
const char* rowLight(const std::string& status) {
    if (status == "Idle...") return image::StatusNone;
    if (status == "Starting...") return image::StatusPartiallyAvailable;
    if (status == "Running...") return image::StatusAvailable;
    return image::StatusUnavailable;
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
            broken = broken || isBroken(e.status);
            coming = coming || isComing(e.status);
            if (e.status == "Running...") ++running;
            view.entries.push_back({serviceLabel(e) + "  " + e.status, rowLight(e.status)});
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
