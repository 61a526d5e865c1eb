// SPDX-License-Identifier: GPL-3.0-or-later
// After a resume or a network change: with reconnection on, the children of services that
// are up are ended and the supervision restarts them; nothing else is touched. And when that
// happens: once per resume and once per real change of the network.
#include "ControllerFixture.h"
#include "desktop/RenewalTrigger.h"
#include "desktop/StaleConnections.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sstream>

namespace {

class Stale : public ::testing::Test {
protected:
    ControllerFixture f;
    QuillboreDel& c = f.controller;
    StaleConnections stale{c};
    std::vector<std::string> seen; // every status of row 0, in order

    void SetUp() override {
        ControllerFixture::removeHomeFile(".QuillboreSSH.lst");
        c.theServiceList.emplace();
        c.selectedRow = -1;
        for (const char* port : {"900", "901", "902"}) {
            c.addService(nullptr);
            f.ui.serverAddress.value = "gate.example";
            f.ui.serverPort.value = port;
            f.ui.forwardInfo.value = "db:5432";
            c.addToList(nullptr);
        }
        c.updateStatus();
        c.statusDidChange = [this](const ServiceEntry& e) {
            if (e.service == first) seen.push_back(e.status);
        };
    }
    void start(long row) {
        f.ui.serviceList.selected = row;
        c.startTunnel(nullptr);
        f.ui.serviceList.selected = -1;
    }
    std::shared_ptr<SSHTunnel> first;
};

TEST_F(Stale, WithReconnectionOnRunningChildrenAreEndedAndRestartedAtTheNextCheck) {
    c.recon = true;
    first = c.theServiceList->at(0).service;
    start(0);
    start(1);
    f.runLoop.advance(3.0);
    start(2); // still starting: its child is new, and ending it would read as a failure
    ASSERT_EQ(f.launcher.children.size(), 3u);

    EXPECT_EQ(stale.renew(), 2);
    EXPECT_EQ(f.launcher.children[0]->signals, std::vector<int>{SIGTERM});
    EXPECT_EQ(f.launcher.children[1]->signals, std::vector<int>{SIGTERM});
    EXPECT_TRUE(f.launcher.children[2]->signals.empty());

    // The children end on the signal; the check loop finds them within a second.
    f.launcher.children[0]->exit(SIGTERM);
    f.launcher.children[1]->exit(SIGTERM);
    seen.clear();
    f.runLoop.advance(1.0);
    EXPECT_EQ(seen, (std::vector<std::string>{"Connection Closed...", "Retring..."}));
    EXPECT_EQ(f.launcher.children.size(), 5u);
    f.runLoop.advance(3.0);
    EXPECT_EQ(c.theServiceList->at(0).status, "Running...");
    EXPECT_EQ(c.theServiceList->at(1).status, "Running...");
}

TEST_F(Stale, WithReconnectionOffOrNothingRunningNothingHappens) {
    EXPECT_EQ(stale.renew(), 0); // nothing started at all
    start(0);
    f.runLoop.advance(3.0);
    c.recon = false;
    EXPECT_EQ(stale.renew(), 0);
    EXPECT_TRUE(f.launcher.children[0]->signals.empty());
    c.stopTunnel(nullptr);
    c.recon = true;
    const auto signalsAfterStop = f.launcher.children[0]->signals;
    EXPECT_EQ(stale.renew(), 0) << "a stopped service is not meant to be running";
    EXPECT_EQ(f.launcher.children[0]->signals, signalsAfterStop);
}

// When renewals happen: NetworkManager's state (NMState, primary connection, default route) and
// resumes, on a manual clock. Each case lists its events and the times at which a renewal
// must come, no more and no fewer.
struct RenewalCase {
    const char* name;
    std::vector<std::pair<double, std::string>> events; // "resume", or "STATE PRIMARY ROUTE"
    std::vector<double> renewals;
};

TEST(RenewalTrigger, OncePerResumeAndOncePerRealChangeOfTheNetwork) {
    const std::vector<RenewalCase> cases = {
        {"the first state told is where it starts", {{0, "70 A r1"}}, {}},
        {"a failed connectivity check, however long",
         {{0, "70 A r1"}, {10, "60 A r1"}, {30, "70 A r1"}},
         {}},
        {"a short drop of the same connection",
         {{0, "70 A r1"}, {10, "20 / -"}, {14, "70 A r1"}},
         {}},
        {"a drop longer than the outage limit",
         {{0, "70 A r1"}, {10, "20 / -"}, {16, "70 A r1"}},
         {17}},
        {"local-only connectivity is no network",
         {{0, "70 A r1"}, {10, "50 A -"}, {20, "70 A r1"}},
         {21}},
        {"back on another connection", {{0, "70 A r1"}, {10, "20 / -"}, {11, "70 B r1"}}, {12}},
        {"another default route while up", {{0, "70 A r1"}, {10, "70 A r2"}}, {11}},
        {"one change told in several signals",
         {{0, "70 A r1"}, {10, "20 / -"}, {10.25, "70 / r1"}, {10.5, "70 B r1"}},
         {11.5}},
        {"an unknown state tells nothing", {{0, "70 A r1"}, {10, "0 / -"}, {20, "70 A r1"}}, {}},
        {"offline when first told, then connected", {{0, "20 / -"}, {3, "70 A r1"}}, {4}},
        {"a resume with the network up", {{0, "70 A r1"}, {50, "resume"}}, {50}},
        {"a resume, then the network down and up again",
         {{0, "70 A r1"}, {50, "resume"}, {52, "20 / -"}, {60, "70 B r1"}},
         {50}},
        {"a resume with the network asleep renews when it is back",
         {{0, "70 A r1"}, {40, "10 / -"}, {50, "resume"}, {55, "70 B r1"}},
         {56}},
        {"a resume with the network asleep and back much later",
         {{0, "70 A r1"}, {40, "10 / -"}, {50, "resume"}, {120, "70 A r1"}},
         {121}},
        {"a change after the resume's grace is a change",
         {{0, "70 A r1"}, {50, "resume"}, {90, "70 B r1"}},
         {50, 91}},
        {"without NetworkManager every resume renews", {{10, "resume"}, {20, "resume"}}, {10, 20}},
    };
    for (const RenewalCase& test : cases) {
        SCOPED_TRACE(test.name);
        ManualRunLoop loop;
        std::vector<double> renewals;
        RenewalTrigger trigger(loop, [&] { renewals.push_back(loop.now()); });
        for (const auto& [at, what] : test.events) {
            loop.advance(at - loop.now());
            if (what == "resume") {
                trigger.resumed();
                continue;
            }
            std::istringstream fields(what);
            RenewalTrigger::Network network;
            fields >> network.state >> network.primary >> network.route;
            trigger.networkChanged(network);
        }
        loop.advance(100);
        EXPECT_EQ(renewals, test.renewals);
    }
}

TEST(RenewalTrigger, TheDefaultRouteIsTheUpRouteToAnywhereWithTheLowestMetric) {
    const std::string heading = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask"
                                "\t\tMTU\tWindow\tIRTT\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n", ""},
        {"eth0\t00000000\t0100A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
         "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n",
         "eth0 0100A8C0"},
        {"wlan0\t00000000\t01002A0A\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
         "eth0\t00000000\t0100A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
         "eth0 0100A8C0"},
        {"eth0\t00000000\t0100A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n", ""}, // not up
        {"tun0\t00000000\t00000000\t0001\t0\t0\t50\t00000000\t0\t0\t0\ngarbage\n", "tun0 00000000"},
    };
    for (const auto& [table, route] : cases) {
        SCOPED_TRACE(table);
        EXPECT_EQ(RenewalTrigger::defaultRoute(heading + table), route);
    }
}

} // namespace
