// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/RunLoop.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

// Decides when the connections of running services are renewed (StaleConnections): once per
// resume from sleep and once per real change of the network, not at every flap of
// NetworkManager's state.
//
// The network is up while NetworkManager has a default route (CONNECTED_SITE or better: a
// failed connectivity check is no reason to drop working connections). A real change is a
// primary connection or default route other than the one the network had when it was last up,
// or the network gone for longer than kOutage. A resume renews at once when the network is up,
// otherwise when it is back; a network that comes back within kAfterResume of a resume is part
// of that resume. NetworkManager tells one change in several signals, so network events are
// judged once they have been quiet for kSettle.
class RenewalTrigger {
public:
    struct Network {
        unsigned state = 0;  // NetworkManager's NMState; 0 (unknown) tells nothing
        std::string primary; // NetworkManager's PrimaryConnection
        std::string route;   // the default route (defaultRoute())
        bool operator==(const Network&) const = default;
    };

    static constexpr double kSettle = 1.0;
    static constexpr double kOutage = 5.0;
    static constexpr double kAfterResume = 30.0;

    RenewalTrigger(RunLoop& runLoop, std::function<void()> renew);
    ~RenewalTrigger();
    RenewalTrigger(const RenewalTrigger&) = delete;
    RenewalTrigger& operator=(const RenewalTrigger&) = delete;

    void networkChanged(const Network& network);
    void resumed();

    // The default route in the text of /proc/net/route: "interface gateway" of the route to
    // 0.0.0.0/0 with the lowest metric, "" when there is none.
    static std::string defaultRoute(const std::string& procNetRoute);

private:
    static bool isUp(const Network& network);
    void settle();
    void fire();

    RunLoop& runLoop_;
    std::function<void()> renew_;
    std::optional<Network> latest_; // as last told
    std::optional<Network> lastUp_; // as last judged while up
    bool downSinceUp_ = false;
    bool longOutage_ = false;
    bool resumePending_ = false;
    std::shared_ptr<Timer> settleTimer_;
    std::shared_ptr<Timer> outageTimer_;
    std::shared_ptr<Timer> afterResume_;
};
