// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "E2eApp.h"
#include "EchoServer.h"
#include "HomeFiles.h"
#include "SshAgent.h"
#include "TestSshd.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

// Base of every e2e test: one sshd and one ssh-agent per test program, a fresh application
// per test, and after each test no zombie among the test process's children.
class E2eTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    static TestSshd& server() { return *server_; }
    static SshAgent& agent() { return *agent_; }

    // Key-file mode with the passphrase-protected client key in the key-file list.
    static homefiles::Preferences keyFilePreferences(bool reconnect = false);
    static homefiles::Service socksService(const std::string& host, int listenPort,
                                           const std::string& password = {});
    static homefiles::Service localService(const std::string& host, int listenPort, int targetPort,
                                           const std::string& password = {});
    static homefiles::Service reverseService(const std::string& host, int remotePort,
                                             int targetPort, const std::string& password = {});

    // The askpass program of this build, forced on ssh (no DISPLAY is needed).
    static void useQuillboreAskpass();
    static std::string failureAlert();

    // Launches the application on the home files and waits for the agent to hold the key that
    // the preferences load (so ssh finds it there at its first try).
    ::testing::AssertionResult launchWithKeyLoaded();
    // Runs the application until bytes come back through the port, at most `timeoutSeconds`.
    bool echoesThrough(int port, double timeoutSeconds, std::string* why);
    bool echoesThroughSocks(int socksPort, double timeoutSeconds, std::string* why);
    // Zombie children of this process, one per line; empty when there is none.
    static std::string zombies();

    std::unique_ptr<E2eApp> app;
    std::unique_ptr<EchoServer> echo;

private:
    static std::unique_ptr<TestSshd> server_;
    static std::unique_ptr<SshAgent> agent_;
    static std::string skipReason_;
};
