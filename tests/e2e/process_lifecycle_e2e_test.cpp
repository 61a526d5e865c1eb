// SPDX-License-Identifier: GPL-3.0-or-later
// The ssh children end when they should: at Stop, at the application's end, and when the
// application is killed outright.
#include "E2eTest.h"
#include "Loopback.h"
#include "ProcessTable.h"
#include "Subprocess.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

class ProcessLifecycle : public E2eTest {
protected:
    bool allEnded(const std::vector<pid_t>& pids) {
        for (pid_t pid : pids)
            if (!proctable::hasEnded(pid)) return false;
        return true;
    }

    // Waits without a run loop (the application is another process here).
    static bool poll(const std::function<bool()>& done, double seconds) {
        const auto end = std::chrono::steady_clock::now() +
                         std::chrono::milliseconds(static_cast<long>(seconds * 1000));
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
};

TEST_F(ProcessLifecycle, StopEndsTheSshChildAtOnceAndFreesItsPort) {
    const int port = loopback::freePort();
    homefiles::writePreferences(keyFilePreferences());
    homefiles::writeServiceList({localService(TestSshd::kKeyHost, port, echo->port())});
    ASSERT_TRUE(launchWithKeyLoaded());
    app->start(0);
    ASSERT_TRUE(app->waitForStatus(0, "Running...", 20)) << app->historyText(0);
    const pid_t child = app->childPid(0);
    ASSERT_FALSE(proctable::hasEnded(child));

    app->stop(0);
    EXPECT_EQ(app->status(0), "Idle...");
    // Stop signals the child and does not wait; it is gone within the second it is given.
    EXPECT_TRUE(app->runUntil([&] { return proctable::hasEnded(child); }, 1.0));
    EXPECT_TRUE(app->runUntil([&] { return loopback::refusesConnections(port); }, 1.0));
    // ... and the application reaps it: no zombie while the application goes on.
    EXPECT_TRUE(app->runUntil([&] { return !proctable::lookup(child); }, 3.0))
        << "the stopped ssh child was not reaped:\n"
        << zombies();
    EXPECT_TRUE(app->runUntil([] { return server().sessions().empty(); }, 5));
    app->runFor(1.0);
    EXPECT_EQ(app->status(0), "Idle...");
}

TEST_F(ProcessLifecycle, ApplicationEndStopsEveryTunnelAndUnloadsTheKeys) {
    const int socksPort = loopback::freePort();
    const int localPort = loopback::freePort();
    homefiles::writePreferences(keyFilePreferences());
    homefiles::writeServiceList({socksService(TestSshd::kKeyHost, socksPort),
                                 localService(TestSshd::kKeyHost, localPort, echo->port())});
    ASSERT_TRUE(launchWithKeyLoaded());
    app->start(-1);
    ASSERT_TRUE(app->waitForStatus(0, "Running...", 20)) << app->historyText(0);
    ASSERT_TRUE(app->waitForStatus(1, "Running...", 20)) << app->historyText(1);
    const std::vector<pid_t> children{app->childPid(0), app->childPid(1)};

    app->terminate(0);
    EXPECT_TRUE(app->runUntil([&] { return allEnded(children); }, 2.0));
    EXPECT_TRUE(loopback::refusesConnections(socksPort));
    EXPECT_TRUE(loopback::refusesConnections(localPort));
    EXPECT_TRUE(app->runUntil([] { return agent().keys().empty(); }, 5))
        << "the agent still holds the key after the application's end";
    // The application exits right after this; its ended children go with it.
}

// The application is killed with SIGKILL and cannot clean up: its ssh children must not
// outlive it and keep their ports.
TEST_F(ProcessLifecycle, KilledApplicationLeavesNoSshBehind) {
    const int socksPort = loopback::freePort();
    const int localPort = loopback::freePort();
    homefiles::writePreferences(keyFilePreferences());
    homefiles::writeServiceList({socksService(TestSshd::kKeyHost, socksPort),
                                 localService(TestSshd::kKeyHost, localPort, echo->port())});

    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    const pid_t driver = ::fork();
    ASSERT_GE(driver, 0);
    if (driver == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        const char* path = QB_BIN_DIR "/qb-e2e-driver";
        ::execl(path, path, "--seconds", "60", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    FILE* lines = ::fdopen(out[0], "r");
    std::vector<pid_t> children;
    char buffer[512];
    // The driver prints "ready <pids>" once both rows read "Running..."; bounded by its own
    // 60 s and by our read of its output.
    while (children.empty() && std::fgets(buffer, sizeof buffer, lines)) {
        std::istringstream in(buffer);
        std::string word;
        in >> word;
        if (word != "ready") continue;
        for (pid_t pid; in >> pid;)
            children.push_back(pid);
    }
    std::fclose(lines);
    ASSERT_EQ(children.size(), 2u) << "the driver never had both tunnels running";
    for (pid_t pid : children) {
        auto e = proctable::lookup(pid);
        ASSERT_TRUE(e && e->parent == driver && e->command == "ssh");
    }
    std::string why;
    EXPECT_TRUE(loopback::echoesThrough(localPort, 64 * 1024, &why)) << why;

    ::kill(driver, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(driver, &status, 0), driver);
    ASSERT_TRUE(WIFSIGNALED(status));

    EXPECT_TRUE(poll([&] { return allEnded(children); }, 5.0))
        << "an ssh child of the killed application is still running";
    EXPECT_TRUE(poll(
        [&] {
            return loopback::refusesConnections(socksPort) &&
                   loopback::refusesConnections(localPort);
        },
        5.0));
    EXPECT_TRUE(poll([] { return server().sessions().empty(); }, 5.0));
}

} // namespace
