// SPDX-License-Identifier: GPL-3.0-or-later
#include "E2eTest.h"

#include "Loopback.h"
#include "ProcessTable.h"

#include <cstdlib>
#include <unistd.h>

std::unique_ptr<TestSshd> E2eTest::server_;
std::unique_ptr<SshAgent> E2eTest::agent_;
std::string E2eTest::skipReason_;

void E2eTest::SetUpTestSuite() {
    if (auto reason = TestSshd::unavailableReason()) {
        skipReason_ = *reason;
        return;
    }
    agent_ = std::make_unique<SshAgent>(std::string(std::getenv("QB_TEST_ROOT")) + "/agent.sock");
    agent_->exportSocket();
    server_ = std::make_unique<TestSshd>();
}

void E2eTest::TearDownTestSuite() {
    server_.reset();
    agent_.reset();
}

void E2eTest::SetUp() {
    if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
    ASSERT_TRUE(server_) << "the test sshd did not start";
    // Each test chooses its own askpass set-up; ssh-add reads passphrases from its stdin.
    ::unsetenv("SSH_ASKPASS");
    ::unsetenv("SSH_ASKPASS_REQUIRE");
    ::unsetenv("DISPLAY");
    agent_->removeAllKeys();
    homefiles::removeAll();
    server_->recordHostKey(TestSshd::KnownKey::Right);
    echo = std::make_unique<EchoServer>();
    app = std::make_unique<E2eApp>();
}

void E2eTest::TearDown() {
    if (!skipReason_.empty()) return;
    if (HasFailure() && server_) {
        std::string log = server_->logText();
        if (log.size() > 4000) log = log.substr(log.size() - 4000);
        std::cerr << "--- sshd log (end) ---\n" << log << "\n";
        if (app)
            for (long row = 0; row < static_cast<long>(app->rows()); ++row)
                std::cerr << "row " << row << ": " << app->historyText(row) << "\n";
    }
    app.reset();
    echo.reset();
    EXPECT_EQ(zombies(), "") << "zombie children left behind";
    // A test that failed half-way must not leave its ssh connections to the next one.
    if (server_) server_->dropAllSessions();
}

homefiles::Preferences E2eTest::keyFilePreferences(bool reconnect) {
    homefiles::Preferences p;
    p.mode = homefiles::Mode::KeyFiles;
    p.reconnect = reconnect;
    p.keyFiles = {server_->clientKeyPath() + ":" + TestSshd::kKeyPassphrase};
    return p;
}

homefiles::Service E2eTest::socksService(const std::string& host, int listenPort,
                                         const std::string& password) {
    return {host, std::to_string(listenPort), TestSshd::kUser, password, "SOCKS"};
}

homefiles::Service E2eTest::localService(const std::string& host, int listenPort, int targetPort,
                                         const std::string& password) {
    return {host, std::to_string(listenPort), TestSshd::kUser, password,
            "127.0.0.1:" + std::to_string(targetPort)};
}

homefiles::Service E2eTest::reverseService(const std::string& host, int remotePort, int targetPort,
                                           const std::string& password) {
    return {host, std::to_string(remotePort), TestSshd::kUser, password,
            "Reverse Tunnel: 127.0.0.1:" + std::to_string(targetPort)};
}

void E2eTest::useQuillboreAskpass() {
    ::setenv("SSH_ASKPASS", QB_BIN_DIR "/quillbore-askpass", 1);
    ::setenv("SSH_ASKPASS_REQUIRE", "force", 1);
    ::unsetenv("DISPLAY");
}

std::string E2eTest::failureAlert() {
    return "It appears a tunnel service has failed. Check your password and/or internet "
           "connection. If you have not connected via ssh before you will need to do so and "
           "generate the key file before this app will work. If you don't have a RSK key for the "
           "server you will need to use a command line utility to manage the passwords like "
           "sshpass.";
}

::testing::AssertionResult E2eTest::launchWithKeyLoaded() {
    app->launch();
    if (app->runUntil([] { return !agent().keys().empty(); }, 10))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "the preferences' ssh-add did not load the key into the agent";
}

bool E2eTest::echoesThrough(int port, double timeoutSeconds, std::string* why) {
    return app->runUntil([&] { return loopback::echoesThrough(port, 200 * 1024, why); },
                         timeoutSeconds);
}

bool E2eTest::echoesThroughSocks(int socksPort, double timeoutSeconds, std::string* why) {
    return app->runUntil(
        [&] { return loopback::echoesThroughSocks(socksPort, echo->port(), 200 * 1024, why); },
        timeoutSeconds);
}

std::string E2eTest::zombies() {
    std::string out;
    for (const auto& z : proctable::zombieChildrenOf(::getpid()))
        out += std::to_string(z.pid) + " " + z.command + "\n";
    return out;
}
