// Status checks, check loop, verification and restarts of a tunnel, on a manual clock.
#include "CapturingLog.h"
#include "FakeProcess.h"
#include "ManualRunLoop.h"
#include "RecordingTunnelDelegate.h"
#include "tunnel/SSHTunnel.h"

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

TEST_F(TunnelSupervision, RestartedChildFailingAtItsStatusCheckIsRetriedOnce) {
    delegate.retry = true;
    startHealthy();
    launcher.last()->exit(1);
    loop.advance(1);
    EXPECT_EQ(delegate.take(), (Reports{"Connection Closed...", "Retring..."}));
    EXPECT_TRUE(tunnel->isReconnecting());

    // The restarted child fails before anything looks at it: its status check retries.
    launcher.last()->exit(1);
    loop.advance(3);
    EXPECT_EQ(delegate.take(), (Reports{"Failed...", "Retrying..."}));
    EXPECT_TRUE(tunnel->isRunning());
    EXPECT_FALSE(tunnel->isReconnecting()); // cleared by the loop step that follows at once
    EXPECT_EQ(launcher.children.size(), 3u);

    // A further failure that the status check finds first ends the cycle.
    loop.advance(2.5);
    launcher.last()->exit(1);
    loop.advance(0.5);
    EXPECT_EQ(delegate.take(), (Reports{"Failed..."}));
    EXPECT_FALSE(tunnel->isRunning());
    loop.advance(10);
    EXPECT_TRUE(delegate.statuses.empty());
    EXPECT_EQ(launcher.children.size(), 3u);
}

TEST_F(TunnelSupervision, FailureFoundFirstByTheLoopAfterRetryingRestartsAgain) {
    delegate.retry = true;
    startHealthy();
    launcher.last()->exit(1);
    loop.advance(1);
    launcher.last()->exit(1);
    loop.advance(3);
    ASSERT_EQ(delegate.take(),
              (Reports{"Connection Closed...", "Retring...", "Failed...", "Retrying..."}));
    loop.advance(0.5);
    launcher.last()->exit(1);
    loop.advance(0.5);
    EXPECT_EQ(delegate.take(), (Reports{"Connection Closed...", "Retring..."}));
    EXPECT_EQ(launcher.children.size(), 4u);
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
