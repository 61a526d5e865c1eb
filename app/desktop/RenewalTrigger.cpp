// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/RenewalTrigger.h"

#include <cstdlib>
#include <limits>
#include <sstream>

namespace {

// NMState values: below CONNECTED_SITE there is no default route (ASLEEP, DISCONNECTED,
// DISCONNECTING, CONNECTING, CONNECTED_LOCAL).
constexpr unsigned kStateUnknown = 0;
constexpr unsigned kStateConnectedSite = 60;

bool pending(const std::shared_ptr<Timer>& timer) {
    return timer && timer->isValid();
}

void cancel(std::shared_ptr<Timer>& timer) {
    if (timer) timer->invalidate();
    timer.reset();
}

} // namespace

RenewalTrigger::RenewalTrigger(RunLoop& runLoop, std::function<void()> renew)
    : runLoop_(runLoop), renew_(std::move(renew)) {}

RenewalTrigger::~RenewalTrigger() {
    cancel(settleTimer_);
    cancel(outageTimer_);
    cancel(afterResume_);
}

bool RenewalTrigger::isUp(const Network& network) {
    return network.state >= kStateConnectedSite;
}

void RenewalTrigger::networkChanged(const Network& network) {
    if (network.state == kStateUnknown) return;
    if (latest_ && *latest_ == network) return;
    latest_ = network;
    if (!isUp(network)) {
        downSinceUp_ = true;
        if (!pending(outageTimer_) && !longOutage_)
            outageTimer_ = runLoop_.scheduleOnce(kOutage, [this] { longOutage_ = true; });
    } else {
        cancel(outageTimer_);
    }
    cancel(settleTimer_);
    settleTimer_ = runLoop_.scheduleOnce(kSettle, [this] { settle(); });
}

void RenewalTrigger::settle() {
    settleTimer_.reset();
    const Network& now = *latest_;
    if (!isUp(now)) return; // judged when it is back
    bool renew;
    if (resumePending_)
        renew = true;
    else if (pending(afterResume_))
        renew = false; // the resume has renewed already
    else if (!lastUp_)
        renew = downSinceUp_; // down when first told, up now
    else
        renew = longOutage_ || now.primary != lastUp_->primary || now.route != lastUp_->route;
    lastUp_ = now;
    downSinceUp_ = false;
    longOutage_ = false;
    resumePending_ = false;
    if (renew) fire();
}

void RenewalTrigger::resumed() {
    cancel(afterResume_);
    afterResume_ = runLoop_.scheduleOnce(kAfterResume, [this] { afterResume_.reset(); });
    // Without NetworkManager nothing more will be told: renew now.
    if (latest_ && !isUp(*latest_)) {
        resumePending_ = true;
        return;
    }
    resumePending_ = false;
    fire();
}

void RenewalTrigger::fire() {
    if (renew_) renew_();
}

std::string RenewalTrigger::defaultRoute(const std::string& procNetRoute) {
    std::istringstream lines(procNetRoute);
    std::string line;
    std::getline(lines, line); // the heading
    std::string best;
    unsigned long bestMetric = std::numeric_limits<unsigned long>::max();
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags, refCount, use, mask;
        unsigned long metric = 0;
        if (!(fields >> iface >> destination >> gateway >> flags >> refCount >> use >> metric >>
              mask))
            continue;
        constexpr unsigned long kRouteUp = 0x1;
        const bool up = (std::strtoul(flags.c_str(), nullptr, 16) & kRouteUp) != 0;
        if (destination != "00000000" || mask != "00000000" || !up || metric >= bestMetric)
            continue;
        best = iface + " " + gateway;
        bestMetric = metric;
    }
    return best;
}
