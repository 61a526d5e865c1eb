// SPDX-License-Identifier: GPL-3.0-or-later
// Why a tunnel failed, with the real ssh and sshd: ssh's own words under the failure alert, in
// the row's tooltip and in the log; forwards that ssh could not set up are marked; the
// password appears nowhere.
#include "E2eTest.h"
#include "Loopback.h"
#include "ProcessTable.h"
#include "platform/Files.h"

#include <algorithm>
#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Holds a port of the IPv6 loopback, so that a server binding "localhost" finds it taken on
// both loopbacks. Holds nothing where the machine has no ::1.
class Ipv6Listener {
public:
    explicit Ipv6Listener(int port) {
        fd_ = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return;
        int on = 1;
        ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_loopback;
        a.sin6_port = htons(static_cast<std::uint16_t>(port));
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 4) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Ipv6Listener() {
        if (fd_ >= 0) ::close(fd_);
    }

private:
    int fd_ = -1;
};

class Diagnostics : public E2eTest {
protected:
    const Alert* failureAlertShown() const {
        for (const auto& alert : app->ui.mainWindow.alerts)
            if (alert.informativeText == failureAlert()) return &alert;
        return nullptr;
    }
    std::string tooltip(long row) { return app->controller.toolTipForRow(nullptr, row); }
    std::string warning(long row) {
        return (*app->controller.theServiceList)[static_cast<std::size_t>(row)].service->warning();
    }
    std::string logText() {
        std::string text;
        for (const auto& entry : app->controller.activityLog.entries())
            text += ActivityLog::format(entry) + "\n";
        return text;
    }

    // In no alert, tooltip, log line, system log line or file of the home folder.
    void expectNowhere(const std::string& password) {
        for (const auto& alert : app->ui.mainWindow.alerts) {
            EXPECT_EQ(alert.informativeText.find(password), std::string::npos);
            EXPECT_EQ(alert.detailText.find(password), std::string::npos) << alert.detailText;
        }
        for (long row = 0; row < static_cast<long>(app->rows()); ++row)
            EXPECT_EQ(tooltip(row).find(password), std::string::npos) << tooltip(row);
        EXPECT_EQ(logText().find(password), std::string::npos) << logText();
        for (const auto& line : app->log.lines)
            EXPECT_EQ(line.find(password), std::string::npos) << line;
        for (const auto& file : fs::recursive_directory_iterator(homefiles::path(""))) {
            if (!file.is_regular_file()) continue;
            const std::string content = files::readWhole(file.path().string()).value_or("");
            EXPECT_EQ(content.find(password), std::string::npos) << file.path();
        }
    }
};

TEST_F(Diagnostics, AClosedPortShowsTheRefusalUnderTheFailureAlertAndInTheTooltip) {
    homefiles::writePreferences(keyFilePreferences());
    homefiles::writeServiceList({socksService(TestSshd::kClosedHost, loopback::freePort())});
    ASSERT_TRUE(launchWithKeyLoaded());
    app->start(0);
    ASSERT_TRUE(app->waitForStatus(0, "Failed...", 20)) << app->historyText(0);

    const Alert* alert = failureAlertShown();
    ASSERT_NE(alert, nullptr);
    EXPECT_NE(alert->detailText.find("Connection refused"), std::string::npos) << alert->detailText;
    EXPECT_NE(tooltip(0).find("Connection refused"), std::string::npos) << tooltip(0);
    EXPECT_NE(logText().find(std::string(TestSshd::kClosedHost) + "  SOCKS :"), std::string::npos);
    EXPECT_NE(logText().find("Connection refused"), std::string::npos) << logText();
}

TEST_F(Diagnostics, AWrongPasswordShowsTheDenialAndThePasswordNowhere) {
    useQuillboreAskpass();
    homefiles::Preferences prefs;
    prefs.mode = homefiles::Mode::Askpass;
    homefiles::writePreferences(prefs);
    const std::string wrong = "wrong-Pw-e2e-31";
    homefiles::writeServiceList(
        {socksService(TestSshd::kPasswordHost, loopback::freePort(), wrong)});
    app->launch();
    app->start(0);
    ASSERT_TRUE(app->waitForStatus(0, "Failed...", 20)) << app->historyText(0);

    const Alert* alert = failureAlertShown();
    ASSERT_NE(alert, nullptr);
    EXPECT_NE(alert->detailText.find("Permission denied"), std::string::npos) << alert->detailText;
    app->runFor(1.0);
    expectNowhere(wrong);
}

// ssh's own words name the password when it is put where a user name goes; they are masked.
TEST_F(Diagnostics, APasswordInSshsOwnWordsIsMasked) {
    homefiles::Preferences prefs;
    prefs.mode = homefiles::Mode::OwnCommand;
    prefs.command = "/usr/bin/ssh";
    prefs.arguments = "%p@%h";
    homefiles::writePreferences(prefs);
    const std::string password = "Pw-in-sshs-words-7";
    homefiles::writeServiceList({socksService(TestSshd::kKeyHost, loopback::freePort(), password)});
    app->launch();
    app->start(0);
    ASSERT_TRUE(app->waitForStatus(0, "Failed...", 20)) << app->historyText(0);
    const Alert* alert = failureAlertShown();
    ASSERT_NE(alert, nullptr);
    EXPECT_NE(alert->detailText.find("********@"), std::string::npos) << alert->detailText;
    expectNowhere(password);
}

// The configuration makes ssh exit when it cannot listen: a failure, with its reason and the
// program that holds the port (here the test sshd itself, a process of its own).
TEST_F(Diagnostics, ALocalPortAlreadyTakenFailsWithTheReasonAndIsMarked) {
    const int taken = server().port();
    homefiles::writePreferences(keyFilePreferences());
    homefiles::writeServiceList({socksService(TestSshd::kKeyHost, taken)});
    ASSERT_TRUE(launchWithKeyLoaded());
    app->start(0);
    ASSERT_TRUE(app->waitForStatus(0, "Failed...", 20)) << app->historyText(0);
    const Alert* alert = failureAlertShown();
    ASSERT_NE(alert, nullptr);
    EXPECT_NE(alert->detailText.find("Address already in use"), std::string::npos)
        << alert->detailText;
    const std::string expected = "ssh cannot listen on port " + std::to_string(taken) +
                                 ": it is held by sshd (pid " + std::to_string(server().pid()) +
                                 "); see the log";
    EXPECT_EQ(warning(0), expected);
    EXPECT_NE(logText().find("  * " + expected), std::string::npos) << logText();
}

// Without ExitOnForwardFailure ssh runs on without its forward: "Running..." and the mark. The
// port is taken by a program that accepts, so only ssh's words can tell.
TEST_F(Diagnostics, ASocksPortTakenByAnotherProgramIsMarkedWhileRunning) {
    const int taken = echo->port();
    homefiles::Preferences prefs = keyFilePreferences();
    prefs.mode = homefiles::Mode::OwnCommand;
    prefs.command = "/usr/bin/ssh";
    prefs.arguments = "-o ExitOnForwardFailure=no %u@%h";
    homefiles::writePreferences(prefs);
    homefiles::writeServiceList({socksService(TestSshd::kKeyHost, taken)});
    ASSERT_TRUE(launchWithKeyLoaded());
    app->start(0);
    ASSERT_TRUE(app->waitForStatus(0, "Running...", 20)) << app->historyText(0);
    // The echo server is a thread of this process.
    const std::string expected = "ssh cannot listen on port " + std::to_string(taken) +
                                 ": it is held by " +
                                 std::string(program_invocation_short_name).substr(0, 15) +
                                 " (pid " + std::to_string(::getpid()) + "); see the log";
    ASSERT_TRUE(app->runUntil([&] { return warning(0) == expected; }, 10)) << logText();
    app->runFor(3.0); // past the last look for ssh's listener, which keeps ssh's words
    EXPECT_EQ(warning(0), expected);
    EXPECT_EQ(app->status(0), "Running...");
    EXPECT_EQ(tooltip(0).rfind(expected, 0), 0u) << tooltip(0);
    EXPECT_TRUE(app->alerts().empty());
}

// The forward check finds ssh's listening socket in /proc, also when the own command is a
// wrapper that runs ssh as its child: working forwards are not marked.
TEST_F(Diagnostics, WorkingForwardsAreNotMarkedAlsoBehindAWrapperScript) {
    const std::string wrapper = homefiles::path("ssh-wrapper");
    ASSERT_TRUE(files::writeAtomically(wrapper, "#!/bin/sh\n/usr/bin/ssh \"$@\"\n"));
    ASSERT_EQ(::chmod(wrapper.c_str(), 0700), 0);
    homefiles::Preferences prefs = keyFilePreferences();
    prefs.mode = homefiles::Mode::OwnCommand;
    prefs.command = wrapper;
    prefs.arguments = "%u@%h";
    homefiles::writePreferences(prefs);
    const int socks = loopback::freePort();
    const int local = loopback::freePort();
    homefiles::writeServiceList({socksService(TestSshd::kKeyHost, socks),
                                 localService(TestSshd::kKeyHost, local, echo->port())});
    ASSERT_TRUE(launchWithKeyLoaded());
    app->start(0);
    app->start(1);
    ASSERT_TRUE(app->waitForStatus(0, "Running...", 20)) << app->historyText(0);
    ASSERT_TRUE(app->waitForStatus(1, "Running...", 20)) << app->historyText(1);
    std::string why;
    EXPECT_TRUE(echoesThroughSocks(socks, 10, &why)) << why;
    app->runFor(3.0); // past the last look
    EXPECT_EQ(warning(0), "") << logText();
    EXPECT_EQ(warning(1), "") << logText();
    // The child is the wrapper's shell; ssh runs below it.
    EXPECT_EQ(proctable::commandLine(app->childPid(0)).rfind("/bin/sh " + wrapper, 0), 0u);
    ASSERT_EQ(proctable::childrenOf(app->childPid(0)).size(), 1u);
    EXPECT_EQ(proctable::childrenOf(app->childPid(0))[0].command, "ssh");
}

TEST_F(Diagnostics, AReversePortTheServerRefusesIsMarkedWithSshsWords) {
    // Taken on the server's side (the same machine): on 127.0.0.1 by the echo server, on ::1 here.
    const int taken = echo->port();
    Ipv6Listener alsoTaken(taken);
    homefiles::Preferences prefs = keyFilePreferences();
    prefs.mode = homefiles::Mode::OwnCommand;
    prefs.command = "/usr/bin/ssh";
    prefs.arguments = "-o ExitOnForwardFailure=no -o LogLevel=INFO %u@%h";
    homefiles::writePreferences(prefs);
    homefiles::writeServiceList({reverseService(TestSshd::kKeyHost, taken, echo->port())});
    ASSERT_TRUE(launchWithKeyLoaded());
    app->start(0);
    const std::string expected =
        "the server refused to listen on port " + std::to_string(taken) + "; see the log";
    ASSERT_TRUE(app->runUntil([&] { return warning(0) == expected; }, 20)) << logText();
    EXPECT_TRUE(app->tunnelRunning(0));
    EXPECT_NE(
        logText().find("remote port forwarding failed for listen port " + std::to_string(taken)),
        std::string::npos);
    ASSERT_TRUE(app->waitForStatus(0, "Running...", 20)) << app->historyText(0);
}

// --- A server ssh knows no key of, or another key ----------------------------------------

TEST_F(Diagnostics, AServerNeverSeenIsTrustedFromTheFailureAlertWithTheKeyShownAndThenRuns) {
    server().recordHostKey(TestSshd::KnownKey::None);
    const std::string before = files::readWhole(server().knownHostsPath()).value();
    homefiles::writePreferences(keyFilePreferences());
    const int socks = loopback::freePort();
    homefiles::writeServiceList({socksService(TestSshd::kStrictHost, socks)});
    ASSERT_TRUE(launchWithKeyLoaded());
    app->start(0);
    ASSERT_TRUE(app->waitForStatus(0, "Failed...", 20)) << app->historyText(0);

    MemoryWindow& window = app->ui.mainWindow;
    ASSERT_NE(window.shownAlert(), nullptr);
    ASSERT_EQ(window.shownAlert()->informativeText, failureAlert());
    EXPECT_NE(window.shownAlert()->detailText.find("Host key verification failed."),
              std::string::npos);
    ASSERT_EQ(window.shownAlert()->otherButtonTitle, QuillboreDel::kTrustButton);
    window.pressOther();
    ASSERT_TRUE(app->runUntil([&] { return window.shownAlert() != nullptr; }, 20)) << logText();

    // The confirmation: the host as ssh reaches it and the server's own fingerprint; nothing
    // is written before the user agrees.
    const Alert confirmation = *window.shownAlert();
    ASSERT_EQ(confirmation.otherButtonTitle, QuillboreDel::kConfirmTrustButton)
        << confirmation.informativeText << "\n"
        << confirmation.detailText;
    EXPECT_NE(confirmation.informativeText.find("Host: 127.0.0.1, port " +
                                                std::to_string(server().port())),
              std::string::npos)
        << confirmation.informativeText;
    EXPECT_NE(confirmation.informativeText.find("ED25519 key " + server().hostKeyFingerprint()),
              std::string::npos)
        << confirmation.informativeText;
    EXPECT_EQ(files::readWhole(server().knownHostsPath()), before);
    const std::string& lines = confirmation.detailText;
    ASSERT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
    EXPECT_EQ(lines.substr(lines.find(' ') + 1), server().hostKey() + "\n");

    window.pressOther();
    ASSERT_TRUE(app->waitForStatus(0, "Running...", 20)) << app->historyText(0) << logText();
    EXPECT_EQ(files::readWhole(server().knownHostsPath()), before + lines);
    std::string why;
    EXPECT_TRUE(echoesThroughSocks(socks, 10, &why)) << why;
}

// No offer: a key other than the one recorded may be an attack, and the user's own command is
// not ours to second-guess. known_hosts stays as it was, byte for byte.
TEST_F(Diagnostics, AChangedKeyOrAnOwnCommandGetsNoOfferToTrust) {
    const struct {
        TestSshd::KnownKey known;
        bool ownCommand;
        std::vector<std::string> detailSays;
    } cases[] = {
        {TestSshd::KnownKey::Wrong,
         false,
         {"identity has changed", "may be an attack",
          "line 2 of " + server().knownHostsPath() + ".",
          "ssh-keygen -R \"[127.0.0.1]:" + std::to_string(server().port()) + "\""}},
        {TestSshd::KnownKey::None, true, {"Host key verification failed."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ownCommand ? "own command" : "changed key");
        app = std::make_unique<E2eApp>();
        server().recordHostKey(c.known);
        const std::string before = files::readWhole(server().knownHostsPath()).value();
        homefiles::Preferences prefs = keyFilePreferences();
        if (c.ownCommand) {
            prefs.mode = homefiles::Mode::OwnCommand;
            prefs.command = "/usr/bin/ssh";
            prefs.arguments = "%u@%h";
        }
        homefiles::writePreferences(prefs);
        homefiles::writeServiceList({socksService(TestSshd::kStrictHost, loopback::freePort())});
        ASSERT_TRUE(launchWithKeyLoaded());
        app->start(0);
        ASSERT_TRUE(app->waitForStatus(0, "Failed...", 20)) << app->historyText(0);
        const Alert* alert = failureAlertShown();
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->otherButtonTitle, "");
        for (const std::string& words : c.detailSays)
            EXPECT_NE(alert->detailText.find(words), std::string::npos) << words << " in:\n"
                                                                        << alert->detailText;
        app->runFor(1.0);
        EXPECT_EQ(files::readWhole(server().knownHostsPath()), before);
        EXPECT_EQ(app->alerts().size(), 1u);
    }
}

} // namespace
