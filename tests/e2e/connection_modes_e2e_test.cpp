// SPDX-License-Identifier: GPL-3.0-or-later
// The three connection modes of the preferences, each against the real sshd.
#include "E2eTest.h"
#include "Loopback.h"
#include "ProcessTable.h"
#include "Subprocess.h"
#include "platform/Files.h"

#include <chrono>
#include <sys/stat.h>
#include <thread>

namespace {

class ConnectionModes : public E2eTest {};

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

long countOf(const std::string& text, const std::string& word) {
    long count = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++count;
    return count;
}

// Key files: the preferences' ssh-add puts the passphrase-protected key into the agent (the
// passphrase goes in on its standard input) and ssh logs in with it; the alias refuses
// passwords, so nothing else could have let it in.
TEST_F(ConnectionModes, KeyFileModeLogsInWithTheKeyThatThePreferencesLoaded) {
    ASSERT_TRUE(agent().keys().empty());
    const int localPort = loopback::freePort();
    homefiles::writePreferences(keyFilePreferences());
    homefiles::writeServiceList({localService(TestSshd::kKeyHost, localPort, echo->port())});
    ASSERT_TRUE(launchWithKeyLoaded());
    EXPECT_NE(agent().keys().front().find("qbe2e-client"), std::string::npos);

    app->start(0);
    ASSERT_TRUE(app->waitForStatus(0, "Running...", 20)) << app->historyText(0);
    std::string why;
    EXPECT_TRUE(echoesThrough(localPort, 10, &why)) << why;
    EXPECT_EQ(proctable::commandLine(app->childPid(0)),
              "/usr/bin/ssh qbe2e@qbe2e-key -L " + std::to_string(localPort) +
                  ":127.0.0.1:" + std::to_string(echo->port()) + " -N");
    EXPECT_FALSE(fileExists(homefiles::path(".ssh-askpass")));
}

// Without the key in the agent the same service cannot log in, and says so.
TEST_F(ConnectionModes, KeyFileModeWithoutTheKeyFails) {
    homefiles::Preferences prefs = keyFilePreferences();
    prefs.keyFiles.clear();
    homefiles::writePreferences(prefs);
    homefiles::writeServiceList({socksService(TestSshd::kKeyHost, loopback::freePort())});
    app->launch();
    app->start(0);
    ASSERT_TRUE(app->waitForStatus(0, "Failed...", 20)) << app->historyText(0);
    EXPECT_EQ(app->alerts(), std::vector<std::string>{failureAlert()});
}

// Askpass: the application leaves the password, scrambled, in ~/.ssh-askpass, and ssh runs
// quillbore-askpass, which hands it over. The alias accepts passwords only.
TEST_F(ConnectionModes, AskpassModeLogsInWithThePasswordThroughQuillboreAskpass) {
    useQuillboreAskpass();
    const int socksPort = loopback::freePort();
    homefiles::Preferences prefs;
    prefs.mode = homefiles::Mode::Askpass;
    homefiles::writePreferences(prefs);
    homefiles::writeServiceList(
        {socksService(TestSshd::kPasswordHost, socksPort, TestSshd::kPassword)});
    app->launch();

    app->start(0);
    EXPECT_TRUE(fileExists(homefiles::path(".ssh-askpass")));
    ASSERT_TRUE(app->waitForStatus(0, "Running...", 20)) << app->historyText(0);
    std::string why;
    EXPECT_TRUE(echoesThroughSocks(socksPort, 10, &why)) << why;
    EXPECT_EQ(app->alerts(), std::vector<std::string>{});
    // The password does not stay on disk: the removal timer takes the file away.
    EXPECT_TRUE(app->runUntil([] { return !fileExists(homefiles::path(".ssh-askpass")); }, 15));
}

// Own command: /usr/bin/ssh with a template naming the account and the server; the tunnel
// adds the forward. The key comes from the agent as in key-file mode.
TEST_F(ConnectionModes, OwnCommandModeRunsTheTemplateWithUserAndHost) {
    const int socksPort = loopback::freePort();
    homefiles::Preferences prefs = keyFilePreferences();
    prefs.mode = homefiles::Mode::OwnCommand;
    prefs.command = "/usr/bin/ssh";
    prefs.arguments = "%u@%h";
    homefiles::writePreferences(prefs);
    homefiles::writeServiceList({socksService(TestSshd::kKeyHost, socksPort)});
    ASSERT_TRUE(launchWithKeyLoaded());

    app->start(0);
    ASSERT_TRUE(app->waitForStatus(0, "Running...", 20)) << app->historyText(0);
    // The template first, then the forward (the built-in form puts -D first).
    EXPECT_EQ(proctable::commandLine(app->childPid(0)),
              "/usr/bin/ssh qbe2e@qbe2e-key -D " + std::to_string(socksPort) + " -N");
    std::string why;
    EXPECT_TRUE(echoesThroughSocks(socksPort, 10, &why)) << why;
}

// More logins at once than the 62 that a PAM stack under pam_wrapper could hold (one folder
// /tmp/pam.X per connection process): each stays logged in until it is ended, as tunnels do.
TEST_F(ConnectionModes, SeventyLoginsAtOnceAllStayLoggedIn) {
    constexpr int kLogins = 70;
    const std::string key = homefiles::path("plain_key");
    ASSERT_EQ(subprocess::run({"/bin/cp", server().clientKeyPath(), key}).exitCode, 0);
    ASSERT_EQ(subprocess::run({"/usr/bin/ssh-keygen", "-q", "-p", "-P", TestSshd::kKeyPassphrase,
                               "-N", "", "-f", key})
                  .exitCode,
              0);
    const std::string accepted = "Accepted publickey for " + std::string(TestSshd::kUser);
    const long before = countOf(server().logText(), accepted);
    std::vector<pid_t> clients;
    for (int i = 0; i < kLogins; ++i) {
        auto pid = subprocess::spawn({"/usr/bin/ssh", "-N", "-i", key, "-o", "IdentitiesOnly=yes",
                                      "-o", "IdentityAgent=none", "-o", "ConnectTimeout=60", "-l",
                                      TestSshd::kUser, TestSshd::kKeyHost},
                                     subprocess::Env::Inherit, homefiles::path("ssh.log"));
        ASSERT_TRUE(pid);
        clients.push_back(*pid);
    }
    auto loggedIn = [&] { return countOf(server().logText(), accepted) - before; };
    auto anyEnded = [&] {
        for (pid_t pid : clients)
            if (proctable::hasEnded(pid)) return true;
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (loggedIn() < kLogins && !anyEnded() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(loggedIn(), kLogins) << files::readWhole(homefiles::path("ssh.log")).value_or("");
    EXPECT_FALSE(anyEnded()) << files::readWhole(homefiles::path("ssh.log")).value_or("");
    for (pid_t pid : clients)
        subprocess::stop(pid);
}

} // namespace
