// SPDX-License-Identifier: GPL-3.0-or-later
// A tunnel running real children (small shell scripts in place of ssh) on a real run loop.
#include "CapturingLog.h"
#include "RecordingTunnelDelegate.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/PosixRunLoop.h"
#include "tunnel/SSHTunnel.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Reports = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr double kTimeout = 20;

class TunnelWithRealChild : public ::testing::Test {
protected:
    PosixRunLoop loop;
    PosixProcessLauncher launcher;
    CapturingLog log;
    RecordingTunnelDelegate delegate;
    std::shared_ptr<SSHTunnel> tunnel = std::make_shared<SSHTunnel>(loop, launcher, log);
    fs::path folder;

    void SetUp() override {
        const char* root = std::getenv("QB_TEST_ROOT");
        std::string pattern = std::string(root ? root : "/tmp") + "/tunnel-child.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        tunnel->setDelegate(&delegate);
        tunnel->setUser("alice", "pw", "127.0.0.1", "1080", "SOCKS");
    }

    void TearDown() override {
        tunnel->stopService();
        fs::remove_all(folder);
    }

    // The own command: a script that ignores the arguments the tunnel gives it.
    void runScript(const std::string& body) {
        const fs::path script = folder / "child.sh";
        std::ofstream(script) << "#!/bin/sh\n" << body << "\n";
        ::chmod(script.c_str(), 0700);
        delegate.useOwnCommand = true;
        delegate.commandString = script.string();
        delegate.variables = "%u@%h";
        tunnel->startService();
    }

    bool waitForReports(std::size_t count) {
        return loop.runUntil([&] { return delegate.statuses.size() >= count; }, kTimeout);
    }

    static bool processGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }
};

TEST_F(TunnelWithRealChild, ExitThreeIsFailed) {
    runScript("exit 3");
    const pid_t pid = tunnel->currentTask()->processIdentifier();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(log.contains("Starting task: " + std::to_string(pid)));
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(delegate.statuses, (Reports{"Failed..."}));
    EXPECT_FALSE(tunnel->isRunning());
    EXPECT_TRUE(processGone(pid)); // reaped, no zombie
}

TEST_F(TunnelWithRealChild, LivingChildRunsAndItsCleanExitIsServiceKilled) {
    const fs::path go = folder / "go";
    runScript("while [ ! -e '" + go.string() + "' ]; do sleep 0.05; done; exit 0");
    ASSERT_TRUE(waitForReports(2));
    EXPECT_EQ(delegate.take(), (Reports{"Starting...", "Running..."}));

    std::ofstream(go).put('\n');
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(delegate.statuses, (Reports{"Service killed..."}));
    EXPECT_FALSE(tunnel->isRunning());
}

TEST_F(TunnelWithRealChild, StopEndsTheChildWithoutLeavingAZombie) {
    runScript("exec sleep 30");
    const pid_t pid = tunnel->currentTask()->processIdentifier();
    ASSERT_GT(pid, 0);
    tunnel->stopService();
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(delegate.statuses, (Reports{"Error..."}));
    const int status = tunnel->currentTask()->exitStatus();
    EXPECT_TRUE(status == SIGINT || status == SIGTERM) << status;
    EXPECT_TRUE(processGone(pid));
    EXPECT_EQ(loop.pendingTimers(), 0u);
}

} // namespace
