// SPDX-License-Identifier: GPL-3.0-or-later
// What the user sees when a connection drops or cannot be made, with the real ssh and sshd.
#include "E2eTest.h"
#include "Loopback.h"
#include "ProcessTable.h"

#include <algorithm>

namespace {

class Supervision : public E2eTest {
protected:
    // One local forward to the echo server, running and carrying bytes.
    void startRunningForward(bool reconnect) {
        port = loopback::freePort();
        homefiles::writePreferences(keyFilePreferences(reconnect));
        homefiles::writeServiceList({localService(TestSshd::kKeyHost, port, echo->port())});
        ASSERT_TRUE(launchWithKeyLoaded());
        app->start(0);
        ASSERT_TRUE(app->waitForStatus(0, "Running...", 20)) << app->historyText(0);
        std::string why;
        ASSERT_TRUE(echoesThrough(port, 10, &why)) << why;
        ASSERT_EQ(server().sessions().size(), 1u);
    }

    // The statuses shown from index `from` of the row's history on.
    std::vector<std::string> shownSince(std::size_t from) {
        const auto& h = app->history(0);
        return {h.begin() + static_cast<long>(std::min(from, h.size())), h.end()};
    }

    int port = 0;
};

TEST_F(Supervision, DroppedConnectionIsRestoredWithReconnectionOn) {
    ASSERT_NO_FATAL_FAILURE(startRunningForward(true));
    const pid_t first = app->childPid(0);
    const std::size_t before = app->history(0).size();

    ASSERT_EQ(server().dropAllSessions(), 1);
    ASSERT_TRUE(app->waitForStatusAfter(0, before, "Retring...", 15)) << app->historyText(0);
    ASSERT_TRUE(app->waitForStatusAfter(0, before, "Running...", 20)) << app->historyText(0);

    const auto shown = shownSince(before);
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[0], "Connection Closed...");
    EXPECT_EQ(shown[1], "Retring...");
    EXPECT_EQ(shown.back(), "Running...");
    EXPECT_NE(app->childPid(0), first);
    EXPECT_TRUE(proctable::hasEnded(first));
    EXPECT_TRUE(app->tunnelRunning(0));

    std::string why;
    EXPECT_TRUE(echoesThrough(port, 10, &why)) << "after the restart: " << why;
    EXPECT_EQ(app->alerts(), std::vector<std::string>{});
}

// Dropped twice: each time it comes back (no retry count).
TEST_F(Supervision, ReconnectionRestoresEveryDrop) {
    ASSERT_NO_FATAL_FAILURE(startRunningForward(true));
    for (int drop = 0; drop < 2; ++drop) {
        const std::size_t before = app->history(0).size();
        ASSERT_TRUE(app->runUntil([&] { return server().sessions().size() == 1; }, 10));
        server().dropAllSessions();
        ASSERT_TRUE(app->waitForStatusAfter(0, before, "Retring...", 15)) << app->historyText(0);
        ASSERT_TRUE(app->waitForStatusAfter(0, before, "Running...", 20)) << app->historyText(0);
        std::string why;
        EXPECT_TRUE(echoesThrough(port, 10, &why)) << "after drop " << drop << ": " << why;
    }
}

TEST_F(Supervision, DroppedConnectionStaysClosedWithReconnectionOff) {
    ASSERT_NO_FATAL_FAILURE(startRunningForward(false));
    const pid_t first = app->childPid(0);

    ASSERT_EQ(server().dropAllSessions(), 1);
    ASSERT_TRUE(app->waitForStatus(0, "Connection Closed...", 15)) << app->historyText(0);
    EXPECT_FALSE(app->tunnelRunning(0));
    // The report comes before the stop; the status line follows at its next refresh.
    EXPECT_TRUE(app->runUntil([&] { return app->ui.statusText.value == "Idle..."; }, 2));
    // A check-loop step would have restarted it at once; give it a few more to be sure.
    app->runFor(2.5);
    EXPECT_EQ(app->status(0), "Connection Closed...");
    EXPECT_EQ(app->childPid(0), first);
    EXPECT_TRUE(loopback::refusesConnections(port));
    EXPECT_TRUE(server().sessions().empty());
}

TEST_F(Supervision, WrongPasswordEndsAtFailedWithTheFailureAlert) {
    useQuillboreAskpass();
    homefiles::Preferences prefs;
    prefs.mode = homefiles::Mode::Askpass;
    prefs.reconnect = true; // a first start that fails is not restarted all the same
    homefiles::writePreferences(prefs);
    homefiles::writeServiceList(
        {socksService(TestSshd::kPasswordHost, loopback::freePort(), "not-the-password")});
    app->launch();

    app->start(0);
    ASSERT_TRUE(app->waitForStatus(0, "Failed...", 20)) << app->historyText(0);
    EXPECT_FALSE(app->tunnelRunning(0));
    EXPECT_EQ(app->alerts(), std::vector<std::string>{failureAlert()});
    app->runFor(1.5);
    EXPECT_EQ(app->status(0), "Failed...");
    EXPECT_EQ(app->historyText(0), "Idle... Starting... Failed...");
}

TEST_F(Supervision, ClosedPortEndsAtFailedWithTheFailureAlert) {
    homefiles::writePreferences(keyFilePreferences());
    homefiles::writeServiceList({socksService(TestSshd::kClosedHost, loopback::freePort())});
    ASSERT_TRUE(launchWithKeyLoaded());

    app->start(0);
    ASSERT_TRUE(app->waitForStatus(0, "Failed...", 20)) << app->historyText(0);
    EXPECT_FALSE(app->tunnelRunning(0));
    EXPECT_EQ(app->alerts(), std::vector<std::string>{failureAlert()});
    EXPECT_TRUE(app->runUntil([&] { return app->ui.statusText.value == "Idle..."; }, 2));
}

} // namespace
