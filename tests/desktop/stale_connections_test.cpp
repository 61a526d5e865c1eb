// After a resume or a network change: with reconnection on, the children of services that
// are up are ended and the supervision restarts them; nothing else is touched.
#include "ControllerFixture.h"
#include "desktop/StaleConnections.h"

#include <csignal>
#include <gtest/gtest.h>

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

} // namespace
