// SPDX-License-Identifier: GPL-3.0-or-later
// Status checks, check loop, verification and restarts of a tunnel, on a manual clock.
#include "CapturingLog.h"
#include "FakeProcess.h"
#include "ManualRunLoop.h"
#include "RecordingTunnelDelegate.h"
#include "tunnel/SSHTunnel.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using Reports = std::vector<std::string>;
const std::vector<int> kStopSignals{SIGINT, SIGTERM};

class TunnelSupervision : public ::testing::Test {
protected:
    ManualRunLoop loop;
    FakeLauncher launcher;
    CapturingLog log;
    RecordingTunnelDelegate delegate;
    std::shared_ptr<SSHTunnel> tunnel = std::make_shared<SSHTunnel>(loop, launcher, log);

    void SetUp() override {
        tunnel->setUser("alice", "pw", "gw.example", "1080", "SOCKS");
        tunnel->setDelegate(&delegate);
    }

    // Starts and lets the first status check find a live child.
    void startHealthy() {
        tunnel->startService();
        loop.advance(3.0);
        ASSERT_EQ(delegate.take(), (Reports{"Starting...", "Running..."}));
    }
};

// --- Status check, 3 s after a start ---------------------------------------------------------

TEST_F(TunnelSupervision, HealthyStartReportsStartingThenVerifiedRunning) {
    tunnel->startService();
    EXPECT_TRUE(tunnel->isRunning());
    loop.advance(2.9);
    EXPECT_TRUE(delegate.statuses.empty());
    loop.advance(0.1);
    EXPECT_EQ(delegate.statuses, (Reports{"Starting...", "Running..."}));
    for (const SSHTunnel* reporter : delegate.reporters)
        EXPECT_EQ(reporter, tunnel.get());
    delegate.take();

    loop.advance(30);
    EXPECT_TRUE(delegate.statuses.empty());
    EXPECT_TRUE(tunnel->isRunning());
    EXPECT_EQ(launcher.children.size(), 1u);
    EXPECT_EQ(loop.pendingTimers(), 1u); // the check loop goes on while the child lives
}

TEST_F(TunnelSupervision, FirstStartFailingWithinThreeSecondsIsNeverRestarted) {
    delegate.retry = true;
    tunnel->startService();
    loop.advance(1);
    launcher.last()->exit(255);
    loop.advance(2);
    EXPECT_EQ(delegate.take(), (Reports{"Failed..."}));
    EXPECT_FALSE(tunnel->isRunning());
    EXPECT_EQ(launcher.last()->signals, kStopSignals);

    loop.advance(10);
    EXPECT_TRUE(delegate.statuses.empty());
    EXPECT_EQ(delegate.retryQuestions, 0);
    EXPECT_EQ(launcher.children.size(), 1u);
    EXPECT_EQ(loop.pendingTimers(), 0u);
}

TEST_F(TunnelSupervision, ChildThatCannotStartIsReportedFailed) {
    launcher.onLaunch = [](FakeChild& c) { c.exit(127); };
    tunnel->startService();
    loop.advance(3);
    EXPECT_EQ(delegate.take(), (Reports{"Failed..."}));
    EXPECT_FALSE(tunnel->isRunning());
}

TEST_F(TunnelSupervision, CleanExitWithinThreeSecondsIsRunningThenKilled) {
    launcher.onLaunch = [](FakeChild& c) { c.exit(0); };
    tunnel->startService();
    loop.advance(3);
    EXPECT_EQ(delegate.take(), (Reports{"Running...", "Service killed..."}));
    EXPECT_FALSE(tunnel->isRunning());
    EXPECT_EQ(delegate.retryQuestions, 1);
}

TEST_F(TunnelSupervision, CleanExitWithinThreeSecondsRestartsWhenAsked) {
    delegate.retry = true;
    launcher.onLaunch = [](FakeChild& c) { c.exit(0); };
    tunnel->startService();
    loop.advance(3);
    EXPECT_EQ(delegate.take(), (Reports{"Running...", "Service killed...", "Retring..."}));
    EXPECT_TRUE(tunnel->isRunning());
    EXPECT_TRUE(tunnel->isReconnecting());
    EXPECT_EQ(launcher.children.size(), 2u);
}

// --- Check loop, every second after the status check ------------------------------------------

TEST_F(TunnelSupervision, LaterEndWithoutRetryStopsWithTheEndsText) {
    startHealthy();
    loop.advance(4.5);
    launcher.last()->exit(255);
    loop.advance(0.4);
    EXPECT_TRUE(delegate.statuses.empty()); // found only at the next whole-second step
    loop.advance(0.1);
    EXPECT_EQ(delegate.take(), (Reports{"Connection Closed..."}));
    EXPECT_FALSE(tunnel->isRunning());
    EXPECT_EQ(launcher.last()->signals, kStopSignals);
    EXPECT_EQ(delegate.retryQuestions, 1);
    EXPECT_EQ(loop.pendingTimers(), 0u);
}

TEST_F(TunnelSupervision, LaterCleanExitIsServiceKilled) {
    startHealthy();
    launcher.last()->exit(0);
    loop.advance(1);
    EXPECT_EQ(delegate.take(), (Reports{"Service killed..."}));
    EXPECT_FALSE(tunnel->isRunning());
}

TEST_F(TunnelSupervision, RetryRestartsWithoutEndWhileConnectionsDrop) {
    delegate.retry = true;
    startHealthy();
    for (int round = 0; round < 3; ++round) {
        const int status = round == 1 ? 0 : 255;
        launcher.last()->exit(status);
        loop.advance(1);
        EXPECT_EQ(delegate.take(),
                  (Reports{status ? "Connection Closed..." : "Service killed...", "Retring..."}));
        EXPECT_TRUE(tunnel->isRunning());
        loop.advance(3);
        EXPECT_EQ(delegate.take(), (Reports{"Starting...", "Running..."}));
    }
    EXPECT_EQ(launcher.children.size(), 4u);
    EXPECT_EQ(delegate.retryQuestions, 3);
}

// A restart that fails is tried again after 2, 4, 8, 16, 30, 30 ... s, for as long as it
// takes; the service stays meant to be up ("Retrying...", with the time of the next try).
// Up again, but not for a minute, the next drop waits its turn too; after a minute up, a drop
// is restarted at once again.
TEST_F(TunnelSupervision, AFailedRestartIsTriedAgainWithAGrowingDelayUntilItRunsAgain) {
    delegate.retry = true;
    startHealthy();
    launcher.last()->exit(255);
    loop.advance(1);
    EXPECT_EQ(delegate.take(), (Reports{"Connection Closed...", "Retring..."}));
    EXPECT_TRUE(tunnel->isRecovering());

    launcher.onLaunch = [](FakeChild& c) { c.exit(255); }; // the server is gone
    launcher.last()->exit(255);
    std::size_t children = launcher.children.size();
    for (double delay : {2.0, 4.0, 8.0, 16.0, 30.0, 30.0}) {
        loop.advance(3);
        ASSERT_EQ(delegate.take(), (Reports{"Failed...", "Retrying..."})) << delay;
        EXPECT_TRUE(tunnel->isRunning());
        ASSERT_TRUE(tunnel->nextRetry());
        EXPECT_EQ(*tunnel->nextRetry() - loop.wallClock(),
                  std::chrono::duration_cast<std::chrono::system_clock::duration>(
                      std::chrono::duration<double>(delay)));
        loop.advance(delay - 0.1);
        EXPECT_EQ(launcher.children.size(), children) << "not before " << delay << " s";
        loop.advance(0.1);
        EXPECT_EQ(launcher.children.size(), ++children);
        EXPECT_TRUE(delegate.statuses.empty()) << "no report between the tries";
    }

    launcher.onLaunch = nullptr; // the server is back
    loop.advance(3);
    EXPECT_EQ(delegate.take(), (Reports{"Failed...", "Retrying..."}));
    loop.advance(30);
    loop.advance(3);
    EXPECT_EQ(delegate.take(), (Reports{"Starting...", "Running..."}));
    EXPECT_FALSE(tunnel->isRecovering());
    EXPECT_FALSE(tunnel->nextRetry());

    loop.advance(10); // up, but not for a minute
    launcher.last()->exit(255);
    loop.advance(1);
    EXPECT_EQ(delegate.take(), (Reports{"Connection Closed...", "Retrying..."}));
    loop.advance(30);
    loop.advance(3);
    EXPECT_EQ(delegate.take(), (Reports{"Starting...", "Running..."}));

    loop.advance(60);
    launcher.last()->exit(255);
    loop.advance(1);
    EXPECT_EQ(delegate.take(), (Reports{"Connection Closed...", "Retring..."}));
    launcher.last()->exit(255);
    loop.advance(3);
    EXPECT_EQ(delegate.take(), (Reports{"Failed...", "Retrying..."}));
    EXPECT_EQ(*tunnel->nextRetry() - loop.wallClock(), std::chrono::seconds(2));
}

// What ends the tries: a stop (nothing starts any more), reconnection turned off, and a
// server that refused the login, which more tries would only get the address banned for.
TEST_F(TunnelSupervision, AFailedRestartEndsAtAStopAReconnectionTurnedOffOrARefusedLogin) {
    enum class End { Stop, NoRetry, Refused };
    for (End end : {End::Stop, End::NoRetry, End::Refused}) {
        ManualRunLoop loop2;
        FakeLauncher launcher2;
        RecordingTunnelDelegate delegate2;
        auto t = std::make_shared<SSHTunnel>(loop2, launcher2, log);
        t->setUser("alice", "pw", "gw.example", "1080", "SOCKS");
        t->setDelegate(&delegate2);
        delegate2.retry = true;
        t->startService();
        loop2.advance(3);
        launcher2.last()->exit(255);
        loop2.advance(1); // "Connection Closed...", "Retring..."
        delegate2.take();
        if (end == End::Refused)
            launcher2.last()->write("qbe2e@127.0.0.1: Permission denied (publickey).\n");
        if (end == End::NoRetry) delegate2.retry = false;
        launcher2.last()->exit(255);
        loop2.advance(3);
        if (end == End::Stop) {
            EXPECT_EQ(delegate2.take(), (Reports{"Failed...", "Retrying..."}));
            t->stopService();
        } else {
            EXPECT_EQ(delegate2.take(), (Reports{"Failed..."}));
        }
        EXPECT_FALSE(t->isRunning());
        EXPECT_FALSE(t->failureWillBeRetried() && end != End::Stop);
        const std::size_t children = launcher2.children.size();
        loop2.advance(120);
        EXPECT_EQ(launcher2.children.size(), children);
        EXPECT_TRUE(delegate2.statuses.empty());
    }
}

// --- Stopping ----------------------------------------------------------------------------------

TEST_F(TunnelSupervision, StopBeforeTheCheckWithEndedChildReportsError) {
    delegate.retry = true;
    tunnel->startService();
    loop.advance(1);
    tunnel->stopService();
    launcher.last()->exit(143);
    loop.advance(2);
    EXPECT_EQ(delegate.take(), (Reports{"Error..."}));
    EXPECT_FALSE(tunnel->isRunning());
    EXPECT_EQ(loop.pendingTimers(), 0u);
    EXPECT_EQ(delegate.retryQuestions, 0);
}

TEST_F(TunnelSupervision, StopBeforeTheCheckWithLiveChildReportsStartingAndRunning) {
    tunnel->startService();
    tunnel->stopService();
    loop.advance(3);
    EXPECT_EQ(delegate.take(), (Reports{"Starting...", "Running..."}));
    EXPECT_FALSE(tunnel->isRunning());
    // The stopped child is still polled, so that it is reaped once it ends; then nothing.
    EXPECT_EQ(loop.pendingTimers(), 1u);
    launcher.last()->exit(SIGTERM);
    loop.advance(1);
    EXPECT_EQ(loop.pendingTimers(), 0u);
    EXPECT_TRUE(delegate.statuses.empty());
}

TEST_F(TunnelSupervision, StopLaterEndsTheLoopSilently) {
    startHealthy();
    loop.advance(2.5);
    tunnel->stopService();
    launcher.last()->exit(143);
    loop.advance(5);
    EXPECT_TRUE(delegate.statuses.empty());
    EXPECT_EQ(loop.pendingTimers(), 0u);
}

TEST_F(TunnelSupervision, StopSendsInterruptThenTerminateOnce) {
    tunnel->startService();
    tunnel->stopService();
    tunnel->stopService();
    EXPECT_EQ(launcher.last()->signals, kStopSignals);
}

TEST_F(TunnelSupervision, StopOnAnIdleTunnelSendsNothing) {
    tunnel->stopService(); // never started: no child at all
    EXPECT_FALSE(tunnel->isRunning());
    EXPECT_EQ(tunnel->currentTask(), nullptr);

    startHealthy();
    launcher.last()->exit(1);
    loop.advance(1); // the loop stops it
    launcher.last()->signals.clear();
    tunnel->stopService();
    EXPECT_TRUE(launcher.last()->signals.empty());
}

// --- Other behaviour -----------------------------------------------------------------------------

TEST_F(TunnelSupervision, SetUserWhileRunningLeavesTheChildAlone) {
    tunnel->startService();
    const auto before = launcher.last()->arguments;
    tunnel->setUser("bob", "x", "elsewhere", "2222", "h:1");
    EXPECT_TRUE(tunnel->isRunning());
    EXPECT_EQ(launcher.children.size(), 1u);
    EXPECT_EQ(launcher.last()->arguments, before);
    EXPECT_TRUE(launcher.last()->signals.empty());
}

TEST_F(TunnelSupervision, SecondStartDropsTheFirstChildWithoutSignal) {
    tunnel->startService();
    auto first = launcher.last();
    tunnel->startService();
    EXPECT_TRUE(first->signals.empty());
    EXPECT_EQ(tunnel->currentTask()->processIdentifier(), launcher.last()->pid);
}

TEST_F(TunnelSupervision, EveryStartLogsTheProcessId) {
    tunnel->startService();
    tunnel->stopService();
    tunnel->startService();
    EXPECT_EQ(log.lines, (std::vector<std::string>{"Starting task: 1000", "Starting task: 1001"}));
}

TEST_F(TunnelSupervision, VerificationIgnoresTheRunningFlag) {
    tunnel->startService();
    tunnel->stopService();
    launcher.last()->exit(0);
    tunnel->needsVerify();
    EXPECT_EQ(delegate.take(), (Reports{"Running..."}));
    launcher.last()->exit(2);
    tunnel->needsVerify();
    EXPECT_EQ(delegate.take(), (Reports{"Failed..."}));
}

TEST_F(TunnelSupervision, VerificationFindingAFailureStopsTheService) {
    delegate.verifyOnStarting = false;
    tunnel->startService();
    launcher.last()->exit(255);
    tunnel->needsVerify();
    EXPECT_EQ(delegate.take(), (Reports{"Failed..."}));
    EXPECT_FALSE(tunnel->isRunning());
    EXPECT_EQ(launcher.last()->signals, kStopSignals);
}

TEST_F(TunnelSupervision, WithoutAChildChecksReportAnEndedChild) {
    tunnel->needsVerify();
    tunnel->serviceStatus();
    tunnel->doCheckLoop();
    EXPECT_EQ(delegate.take(), (Reports{"Failed...", "Error..."}));
}

TEST_F(TunnelSupervision, PendingTimerKeepsTheDroppedTunnelAlive) {
    std::weak_ptr<SSHTunnel> weak = tunnel;
    tunnel->startService();
    tunnel.reset();
    EXPECT_FALSE(weak.expired());
    launcher.last()->exit(1);
    loop.advance(3);
    EXPECT_EQ(delegate.take(), (Reports{"Failed..."})); // still delivered
    EXPECT_TRUE(weak.expired());
}

TEST(TunnelSupervisionWithoutDelegate, RunsAndStopsWithoutReports) {
    ManualRunLoop loop;
    FakeLauncher launcher;
    CapturingLog log;
    auto tunnel = std::make_shared<SSHTunnel>(loop, launcher, log);
    tunnel->startService();
    loop.advance(5);
    launcher.last()->exit(0);
    loop.advance(1);
    EXPECT_FALSE(tunnel->isRunning()); // no delegate: never retried
    EXPECT_EQ(launcher.children.size(), 1u);
    EXPECT_EQ(loop.pendingTimers(), 0u);
}

} // namespace
