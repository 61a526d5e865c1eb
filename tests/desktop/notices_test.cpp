// SPDX-License-Identifier: GPL-3.0-or-later
// Which status changes become desktop notices, and how often: the throttle on a manual
// clock, and the notices that a tunnel's reports give.
#include "ControllerFixture.h"
#include "desktop/NoticeThrottle.h"
#include "desktop/ServiceNotices.h"

#include <gtest/gtest.h>

namespace {

struct Shown {
    std::string key, summary, body;
    double at;
};

struct RecordingNotifier : Notifier {
    ManualRunLoop* clock = nullptr;
    std::vector<Shown> shown;
    void show(const std::string& key, const std::string& summary,
              const std::string& body) override {
        shown.push_back({key, summary, body, clock->now()});
    }
};

TEST(NoticeThrottle, OneNoticePerKeyPerWindowAndLaterOnesFoldIntoTheLast) {
    ManualRunLoop loop;
    std::vector<std::pair<std::string, double>> sent;
    NoticeThrottle t(loop, 30.0, [&](const std::string& key, const std::string& body) {
        sent.push_back({key + "=" + body, loop.now()});
    });

    t.post("a", "down");
    t.post("b", "down"); // another key has a window of its own
    loop.advance(10);
    t.post("a", "up");
    t.post("a", "down again");
    loop.advance(19.9);
    ASSERT_EQ(sent.size(), 2u);
    loop.advance(0.1); // the window ends: one notice, the last state
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2].first, "a=down again");
    EXPECT_DOUBLE_EQ(sent[2].second, 30.0);

    loop.advance(29.9); // that notice opened a window too; nothing came within it
    t.post("a", "late");
    EXPECT_EQ(sent.size(), 3u);
    loop.advance(0.1);
    EXPECT_EQ(sent.back().first, "a=late");
    loop.advance(60); // quiet window: the next one is immediate again
    t.post("a", "fresh");
    EXPECT_EQ(sent.back().first, "a=fresh");
    EXPECT_DOUBLE_EQ(sent.back().second, loop.now());
}

TEST(NoticeThrottle, ADroppedPendingNoticeIsNotSent) {
    ManualRunLoop loop;
    int sent = 0;
    NoticeThrottle t(loop, 30.0, [&](const std::string&, const std::string&) { ++sent; });
    t.post("a", "down");
    t.post("a", "up");
    t.drop("a");
    loop.advance(31);
    EXPECT_EQ(sent, 1);
}

TEST(NoticeThrottle, TimersOutlivingTheThrottleDoNothing) {
    ManualRunLoop loop;
    int sent = 0;
    {
        NoticeThrottle t(loop, 30.0, [&](const std::string&, const std::string&) { ++sent; });
        t.post("a", "down");
        t.post("a", "again");
    }
    loop.advance(31);
    EXPECT_EQ(sent, 1);
}

class Notices : public ::testing::Test {
protected:
    ControllerFixture f;
    QuillboreDel& c = f.controller;
    RecordingNotifier notifier;
    bool windowActive = false;
    std::unique_ptr<ServiceNotices> notices;

    void SetUp() override {
        ControllerFixture::removeHomeFile(".QuillboreSSH.lst");
        notifier.clock = &f.runLoop;
        notices =
            std::make_unique<ServiceNotices>(f.runLoop, notifier, [this] { return windowActive; });
        c.statusDidChange = [this](const ServiceEntry& e) { notices->statusChanged(e); };
        c.theServiceList.emplace();
        c.selectedRow = -1;
        c.addService(nullptr);
        f.ui.serverAddress.value = "gate.example";
        f.ui.serverPort.value = "1080";
        f.ui.userPassword.value = "pw-never-shown";
        f.ui.isSocks.setState(1);
        c.addToList(nullptr);
        c.updateStatus();
    }
    void startAndRun() {
        c.updateStatus(); // the status timer's refresh, which start-all reads
        c.startTunnel(nullptr);
        f.runLoop.advance(3.0);
        ASSERT_EQ(c.theServiceList->at(0).status, "Running...");
    }
    void dropConnection() {
        f.launcher.last()->exit(255);
        f.runLoop.advance(1.0);
    }
};

TEST_F(Notices, ADroppedConnectionGivesOneNoticeWithServerTunnelAndStatus) {
    startAndRun();
    EXPECT_TRUE(notifier.shown.empty()) << "a first start that works is no news";
    dropConnection();
    ASSERT_EQ(c.theServiceList->at(0).status, "Connection Closed...");
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].summary, "gate.example  SOCKS :1080");
    EXPECT_EQ(notifier.shown[0].body, "Connection Closed...");
    f.runLoop.advance(120);
    EXPECT_EQ(notifier.shown.size(), 1u);
}

TEST_F(Notices, RunningAgainAfterARestartIsToldOnceTheWindowHasPassed) {
    c.recon = true;
    startAndRun();
    dropConnection(); // "Connection Closed...", "Retring...", a new child
    f.runLoop.advance(3.0);
    ASSERT_EQ(c.theServiceList->at(0).status, "Running...");
    ASSERT_EQ(notifier.shown.size(), 1u);
    f.runLoop.advance(26.9);
    ASSERT_EQ(notifier.shown.size(), 1u) << "not before the window has passed";
    f.runLoop.advance(0.1);
    ASSERT_EQ(notifier.shown.size(), 2u);
    EXPECT_EQ(notifier.shown[1].body, "Running...");
    EXPECT_EQ(notifier.shown[1].key, notifier.shown[0].key) << "it replaces the first";
    EXPECT_DOUBLE_EQ(notifier.shown[1].at, notifier.shown[0].at + 30.0);
}

TEST_F(Notices, AnOutageOfSeveralServicesIsToldOnceAndSoIsItsEnd) {
    c.recon = true;
    f.ui.serverPort.value = "1081";
    c.addToList(nullptr);
    f.ui.serverPort.value = "1082";
    c.addToList(nullptr);
    c.selectedRow = -1;
    startAndRun();
    ASSERT_EQ(f.launcher.children.size(), 3u);

    f.launcher.onLaunch = [](FakeChild& child) { child.exit(255); }; // the server is away
    for (const auto& child : f.launcher.children) child->exit(255);
    f.runLoop.advance(1.0);
    ASSERT_EQ(notifier.shown.size(), 1u) << "one notice for three closed connections";
    EXPECT_EQ(notifier.shown[0].body, "Connection Closed...");
    f.runLoop.advance(20);
    ASSERT_EQ(c.theServiceList->at(2).status, "Retrying...");
    EXPECT_EQ(notifier.shown.size(), 1u) << "failed tries are no news";

    f.launcher.onLaunch = nullptr; // back: the services run again one after the other
    f.runLoop.advance(40);
    for (std::size_t i = 0; i < 3; ++i) ASSERT_EQ(c.theServiceList->at(i).status, "Running...");
    ASSERT_EQ(notifier.shown.size(), 2u) << "one notice for the end of the outage";
    EXPECT_EQ(notifier.shown[1].body, "Running...");
    EXPECT_EQ(notifier.shown[1].key, notifier.shown[0].key) << "it replaces the first";

    f.runLoop.advance(60);
    f.launcher.last()->exit(255); // later, one service alone drops: news again
    f.runLoop.advance(1.0);
    ASSERT_EQ(notifier.shown.size(), 3u);
    EXPECT_EQ(notifier.shown[2].body, "Connection Closed...");
}

TEST_F(Notices, AFailedStartIsToldButAStopByTheUserIsNot) {
    f.launcher.onLaunch = [](FakeChild& child) { child.exit(255); };
    c.startTunnel(nullptr);
    f.runLoop.advance(3.0);
    ASSERT_EQ(c.theServiceList->at(0).status, "Failed...");
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].body, "Failed...");

    f.launcher.onLaunch = nullptr;
    f.runLoop.advance(40);
    startAndRun(); // after the window: a new start that works is no "running again" either
    c.stopTunnel(nullptr);
    f.runLoop.advance(40);
    EXPECT_EQ(notifier.shown.size(), 1u);
}

TEST_F(Notices, NothingIsToldWhileTheMainWindowIsActive) {
    c.recon = true;
    startAndRun();
    windowActive = true;
    dropConnection();
    f.runLoop.advance(60);
    EXPECT_TRUE(notifier.shown.empty());

    windowActive = false; // a fold that comes due while the window is active is dropped too
    dropConnection();
    ASSERT_EQ(notifier.shown.size(), 1u);
    f.runLoop.advance(3.0);
    windowActive = true;
    f.runLoop.advance(30);
    EXPECT_EQ(notifier.shown.size(), 1u);
}

} // namespace
