// SPDX-License-Identifier: GPL-3.0-or-later
// Start, stop, the status line and the tunnels' reports, driven through the controller's
// actions with scripted ssh children and a manual clock.
#include "ControllerFixture.h"
#include "platform/Files.h"

#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kDelay = "There will be a slight delay in starting each service, be patient.";
constexpr const char* kSomeRunning = "You have at least one service running already, you will "
                                     "have to manually click start on each one.";
constexpr const char* kAlreadyRunning =
    "Service is already running. Maybe do a stop and then try to start it.";
constexpr const char* kAlreadyStopped =
    "Service is already not running. Maybe do a start and then try to stop it.";
constexpr const char* kFailedAlert =
    "It appears a tunnel service has failed. Check your password and/or internet connection. If "
    "you have not connected via ssh before you will need to do so and generate the key file "
    "before this app will work. If you don't have a RSK key for the server you will need to use "
    "a command line utility to manage the passwords like sshpass.";

// Reads the askpass file the way an outside askpass program must: undo the reversal, then
// rotate letters back by 13 plus the position's shift and mirror the digits 1 to 8.
std::string decodeAskpass(const std::string& onDisk, std::size_t keyLength) {
    std::string plain(onDisk.rbegin(), onDisk.rend());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const int back = 13 + static_cast<int>(i % (keyLength + 1));
        char& c = plain[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>('a' + (((c - 'a' - back) % 26) + 26) % 26);
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>('A' + (((c - 'A' - back) % 26) + 26) % 26);
        else if (c >= '1' && c <= '8')
            c = static_cast<char>('1' + '8' - c);
    }
    return plain;
}

class StartStop : public ::testing::Test {
protected:
    ControllerFixture f;
    QuillboreDel& c = f.controller;

    void SetUp() override {
        ControllerFixture::removeHomeFile(".ssh-askpass");
        ControllerFixture::removeHomeFile(".QuillboreSSH.lst");
        c.theServiceList.emplace();
        c.selectedRow = -1;
        c.updateStatus(); // the status timer's first refresh
    }

    // One forward service through the add window.
    static void add(ControllerFixture& g, const std::string& port, const std::string& password) {
        g.controller.addService(nullptr);
        g.ui.serverPort.value = port;
        g.ui.userPassword.value = password;
        g.ui.forwardInfo.value = "127.0.0.1:80";
        g.controller.addToList(nullptr);
    }
    void add(const std::string& port, const std::string& password = "pw") {
        add(f, port, password);
    }

    const ServiceEntry& entry(std::size_t i) { return c.theServiceList->at(i); }
    std::string status(std::size_t i) { return entry(i).status; }

    // The scripted child that entry i's tunnel runs now.
    std::shared_ptr<FakeChild> childOf(std::size_t i) {
        ChildProcess* task = entry(i).service->currentTask();
        if (!task) return nullptr;
        for (const auto& child : f.launcher.children)
            if (child->launched && child->pid == task->processIdentifier()) return child;
        return nullptr;
    }

    void select(long row) { f.ui.serviceList.selected = row; }
    void lock() { f.ui.lockButtons.imageName = image::LockLocked; }
    std::vector<std::string> mainAlerts() { return f.ui.mainWindow.alertTexts(); }
    bool askpassFileExists() {
        struct stat st {};
        return ::stat((ControllerFixture::home() + "/.ssh-askpass").c_str(), &st) == 0;
    }
};

// --- Start all ----------------------------------------------------------------------------

TEST_F(StartStop, StartAllStartsEveryServiceAndTheCheckTurnsThemRunning) {
    add("900");
    add("901");
    c.startTunnel(nullptr);

    EXPECT_EQ(status(0), "Starting...");
    EXPECT_EQ(status(1), "Starting...");
    ASSERT_EQ(f.launcher.launchedWith("/usr/bin/ssh").size(), 2u);
    EXPECT_EQ(f.ui.statusText.value, "2 Tunneling services are running...");
    EXPECT_TRUE(f.ui.wheelie.animating);
    EXPECT_TRUE(mainAlerts().empty());
    EXPECT_FALSE(askpassFileExists());

    f.runLoop.advance(3.0); // "Starting..." and, at once, the verification's "Running..."
    EXPECT_EQ(status(0), "Running...");
    EXPECT_EQ(status(1), "Running...");
}

// Unlike the data files, a linked askpass file is not written through: the removal that
// follows takes the file away, and must not leave the password in a link's target.
TEST_F(StartStop, AnAskpassFileLinkIsReplacedNotWrittenThrough) {
    const std::string elsewhere = ControllerFixture::home() + "/askpass-target";
    ASSERT_TRUE(files::writeAtomically(elsewhere, "untouched"));
    ASSERT_EQ(::symlink("askpass-target", (ControllerFixture::home() + "/.ssh-askpass").c_str()),
              0);
    add("900", "pw");
    c.use_ssh_askpass = true;
    c.has_prompt = false;
    c.startTunnel(nullptr);

    struct stat st {};
    ASSERT_EQ(::lstat((ControllerFixture::home() + "/.ssh-askpass").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(ControllerFixture::readHomeFile("askpass-target"), "untouched");
    c.unlinkFile();
    EXPECT_FALSE(askpassFileExists());
    ControllerFixture::removeHomeFile("askpass-target");
}

// Each ssh must read its own password before the next start rewrites the one askpass file:
// the starts come one after the other, 2 s apart, from the run loop (the window stays live).
TEST_F(StartStop, StartAllInAskpassModeWritesEachPasswordBeforeItsServiceTwoSecondsApart) {
    add("900", "first pw");
    add("901", "S3cret:Zq-8");
    add("902", "");
    c.use_ssh_askpass = true;
    c.has_prompt = false;
    std::vector<std::string> seenAtLaunch;
    std::vector<unsigned> modesAtLaunch;
    std::vector<double> launchedAt;
    f.launcher.onLaunch = [&](FakeChild&) {
        seenAtLaunch.push_back(ControllerFixture::readHomeFile(".ssh-askpass"));
        struct stat st {};
        ::stat((ControllerFixture::home() + "/.ssh-askpass").c_str(), &st);
        modesAtLaunch.push_back(st.st_mode & 0777);
        launchedAt.push_back(f.runLoop.now());
    };

    c.startTunnel(nullptr);
    EXPECT_EQ(seenAtLaunch.size(), 1u) << "the others wait their turn";
    EXPECT_EQ(status(1), "Idle...");
    f.runLoop.advance(4.0);

    const std::size_t keyLength = c.getLoginName().size();
    ASSERT_EQ(seenAtLaunch.size(), 3u);
    EXPECT_EQ(decodeAskpass(seenAtLaunch[0], keyLength), "first pw");
    EXPECT_EQ(decodeAskpass(seenAtLaunch[1], keyLength), "S3cret:Zq-8");
    EXPECT_EQ(seenAtLaunch[2], ""); // an empty password is an empty file, nothing added
    EXPECT_NE(seenAtLaunch[1], "S3cret:Zq-8");
    for (unsigned mode : modesAtLaunch)
        EXPECT_EQ(mode, 0600u);
    EXPECT_EQ(launchedAt, (std::vector<double>{0.0, 2.0, 4.0}));
    EXPECT_EQ(mainAlerts(), std::vector<std::string>{kDelay});
}

// A start asked for during the chain (a row's Start, the tray) takes its turn behind it, also
// 2 s after the last start of the chain; asking twice is refused like a running service.
TEST_F(StartStop, AStartDuringTheAskpassChainWaitsItsTurn) {
    add("900", "a");
    add("901", "b");
    add("902", "c");
    c.use_ssh_askpass = true;
    std::vector<double> launchedAt;
    f.launcher.onLaunch = [&](FakeChild&) { launchedAt.push_back(f.runLoop.now()); };
    EXPECT_EQ(c.startOne(entry(0).service, &f.ui.mainWindow), QuillboreDel::Refusal::None);
    EXPECT_EQ(c.startOne(entry(1).service, &f.ui.mainWindow), QuillboreDel::Refusal::None);
    EXPECT_EQ(c.startOne(entry(1).service, &f.ui.mainWindow),
              QuillboreDel::Refusal::AlreadyRunning);
    f.runLoop.advance(1.0);
    EXPECT_EQ(c.startOne(entry(2).service, &f.ui.mainWindow), QuillboreDel::Refusal::None);
    f.runLoop.advance(10.0);
    EXPECT_EQ(launchedAt, (std::vector<double>{0.0, 2.0, 4.0}));
    EXPECT_EQ(mainAlerts(), std::vector<std::string>{kAlreadyRunning});
}

// Stop all, the lock and the end of the application end the chain: the services not yet
// started stay idle and no ssh starts after it.
TEST_F(StartStop, StopAllLockAndQuitEndTheAskpassChain) {
    const std::vector<std::pair<std::string, std::function<void(ControllerFixture&)>>> enders{
        {"Stop all", [](ControllerFixture& g) { g.controller.stopTunnel(nullptr); }},
        {"lock", [](ControllerFixture& g) { g.controller.toggleLock(&g.ui.lockButtons); }},
        {"idle lock", [](ControllerFixture& g) { g.controller.timeLock(); }},
        {"quit", [](ControllerFixture& g) { g.controller.applicationWillTerminate(); }},
    };
    for (const auto& [name, end] : enders) {
        ControllerFixture g;
        g.controller.theServiceList.emplace();
        g.controller.use_ssh_askpass = true;
        for (const char* port : {"900", "901", "902"})
            add(g, port, "pw");
        g.controller.selectedRow = -1;
        g.controller.updateStatus();
        g.controller.startTunnel(nullptr);
        g.runLoop.advance(2.0);
        ASSERT_EQ(g.launcher.launchedWith("/usr/bin/ssh").size(), 2u) << name;
        end(g);
        g.runLoop.advance(10.0);
        EXPECT_EQ(g.launcher.launchedWith("/usr/bin/ssh").size(), 2u) << name;
        EXPECT_EQ(g.controller.theServiceList->at(2).status, "Idle...") << name;
        EXPECT_FALSE(g.controller.hasPendingStarts()) << name;
        g.controller.applicationWillTerminate();
    }
}

TEST_F(StartStop, TheAskpassFileIsRemovedByRepeatingTimersThatNeverStop) {
    add("900", "pw");
    c.use_ssh_askpass = true;
    select(0);
    c.startTunnel(nullptr);
    EXPECT_TRUE(f.log.contains("use ssh"));
    EXPECT_TRUE(f.log.contains("use ssh no prompt"));
    EXPECT_TRUE(askpassFileExists());

    f.runLoop.advance(9.5);
    EXPECT_TRUE(askpassFileExists());
    f.runLoop.advance(0.5);
    EXPECT_FALSE(askpassFileExists());

    // A later file, written by hand here, is still removed by the same timer 10 s on.
    ControllerFixture::writeHomeFile(".ssh-askpass", "x");
    f.runLoop.advance(10.0);
    EXPECT_FALSE(askpassFileExists());
}

TEST_F(StartStop, EveryStartInAskpassModeAddsARemovalTimerEvenWhenItStartsNothing) {
    c.use_ssh_askpass = true;
    c.startTunnel(nullptr); // empty list
    EXPECT_EQ(mainAlerts(), std::vector<std::string>{kDelay});
    EXPECT_TRUE(f.launcher.children.empty());
    EXPECT_EQ(f.runLoop.pendingTimers(), 1u);

    c.startTunnel(nullptr);
    EXPECT_EQ(f.runLoop.pendingTimers(), 2u);
}

TEST_F(StartStop, WithPromptNoAskpassFileIsWrittenButStartAllStillSpacesItsStarts) {
    add("900");
    add("901");
    c.use_ssh_askpass = true;
    c.has_prompt = true;
    c.startTunnel(nullptr);
    f.runLoop.advance(2.0);
    EXPECT_FALSE(askpassFileExists());
    EXPECT_EQ(f.launcher.launchedWith("/usr/bin/ssh").size(), 2u);
    EXPECT_EQ(mainAlerts(), std::vector<std::string>{kDelay});

    // Single start with prompt: logs only "use ssh".
    c.stopTunnel(nullptr);
    f.runLoop.advance(2.0);
    select(0);
    c.startTunnel(nullptr);
    EXPECT_TRUE(f.log.contains("use ssh"));
    EXPECT_FALSE(f.log.contains("use ssh no prompt"));
    EXPECT_FALSE(askpassFileExists());
}

TEST_F(StartStop, StartAllNeedsAnIdleStatusLine) {
    add("900");
    add("901");
    select(0);
    c.startTunnel(nullptr);
    select(-1);
    c.startTunnel(nullptr);
    EXPECT_EQ(mainAlerts(), std::vector<std::string>{kSomeRunning});
    EXPECT_EQ(status(1), "Idle...");
    EXPECT_EQ(f.launcher.children.size(), 1u);
}

TEST_F(StartStop, StartAllRestartsFailedServicesAndSkipsRunningOnes) {
    add("900");
    add("901");
    f.launcher.onLaunch = [](FakeChild& child) { child.exit(255); };
    c.startTunnel(nullptr);
    f.runLoop.advance(3.0);
    // Each "Failed..." is reported before its tunnel stops: the line is right again at the
    // status timer's next refresh.
    c.updateStatus();
    ASSERT_EQ(status(0), "Failed...");
    ASSERT_EQ(status(1), "Failed...");
    ASSERT_EQ(f.ui.statusText.value, "Idle...");

    f.launcher.onLaunch = nullptr;
    c.startTunnel(nullptr);
    EXPECT_EQ(f.launcher.children.size(), 4u);
    EXPECT_EQ(status(0), "Starting...");
    EXPECT_EQ(status(1), "Starting...");

    // A stale "Idle..." line (before the next refresh) must not start a running service twice.
    c.stopTunnel(nullptr);
    select(0);
    c.startTunnel(nullptr);
    select(-1);
    f.ui.statusText.value = "Idle...";
    c.startTunnel(nullptr);
    EXPECT_EQ(f.launcher.children.size(), 6u);
    EXPECT_EQ(childOf(0)->signals.size(), 0u);
}

// --- Start and stop one, stop all ----------------------------------------------------------

TEST_F(StartStop, OneSelectedServiceStartsAndStopsAlone) {
    add("900");
    add("901");
    select(1);
    c.startTunnel(nullptr);
    EXPECT_EQ(status(0), "Idle...");
    EXPECT_EQ(status(1), "Starting...");
    EXPECT_TRUE(entry(1).service->isRunning());
    EXPECT_EQ(f.ui.statusText.value, "1 Tunneling services are running...");

    select(1);
    c.startTunnel(nullptr);
    EXPECT_EQ(mainAlerts(), std::vector<std::string>{kAlreadyRunning});
    EXPECT_EQ(f.launcher.children.size(), 1u);

    select(1);
    c.stopTunnel(nullptr);
    EXPECT_EQ(status(1), "Idle...");
    EXPECT_EQ(childOf(1)->signals, (std::vector<int>{SIGINT, SIGTERM}));
    EXPECT_EQ(f.ui.statusText.value, "Idle...");
    EXPECT_FALSE(f.ui.wheelie.animating);

    select(0);
    c.stopTunnel(nullptr);
    EXPECT_EQ(mainAlerts().back(), kAlreadyStopped);
}

TEST_F(StartStop, StopAllStopsOnlyRunningServicesAndSaysNothingWhenNoneRuns) {
    add("900");
    add("901");
    add("902");
    c.stopTunnel(nullptr);
    EXPECT_TRUE(mainAlerts().empty());
    EXPECT_EQ(f.ui.statusText.value, "Idle...");

    f.launcher.onLaunch = [](FakeChild& child) { child.exit(1); };
    select(0);
    c.startTunnel(nullptr);
    f.runLoop.advance(3.0);
    f.ui.mainWindow.alerts.clear();
    f.launcher.onLaunch = nullptr;
    select(2);
    c.startTunnel(nullptr);

    select(-1);
    c.stopTunnel(nullptr);
    EXPECT_EQ(status(0), "Failed..."); // not running: left as it was
    EXPECT_EQ(status(1), "Idle...");
    EXPECT_EQ(status(2), "Idle...");
    EXPECT_FALSE(entry(2).service->isRunning());
    EXPECT_EQ(childOf(2)->signals, (std::vector<int>{SIGINT, SIGTERM}));
    EXPECT_TRUE(mainAlerts().empty());
}

TEST_F(StartStop, LockedStartAndStopRefuseAndChangeNothing) {
    add("900");
    c.use_ssh_askpass = true;
    lock();
    c.startTunnel(nullptr);
    select(0);
    c.stopTunnel(nullptr);
    c.startTunnel(nullptr);
    const std::string locked = QuillboreDel::kLockedMessage;
    EXPECT_EQ(mainAlerts(), (std::vector<std::string>{locked, locked, locked}));
    EXPECT_TRUE(f.launcher.children.empty());
    EXPECT_EQ(f.runLoop.pendingTimers(), 0u);
    EXPECT_FALSE(askpassFileExists());
    EXPECT_EQ(status(0), "Idle...");
}

// --- Reports ------------------------------------------------------------------------------

TEST_F(StartStop, EveryFailedReportRaisesTheFailureAlert) {
    add("900");
    f.launcher.onLaunch = [](FakeChild& child) { child.exit(255); };
    select(0);
    c.startTunnel(nullptr);
    f.runLoop.advance(3.0);
    EXPECT_EQ(status(0), "Failed...");
    EXPECT_FALSE(entry(0).service->isRunning());
    select(0);
    c.startTunnel(nullptr);
    f.runLoop.advance(3.0);
    EXPECT_EQ(mainAlerts(), (std::vector<std::string>{kFailedAlert, kFailedAlert}));

    // Reports of other texts raise nothing.
    c.updateMyStatus("Connection Closed...", *entry(0).service);
    EXPECT_EQ(mainAlerts().size(), 2u);
    EXPECT_EQ(status(0), "Connection Closed...");
}

// Three services of one server, reconnection on, the server gone: one alert for the outage,
// whatever the number of services and tries; the row tells when the next try comes; all run
// again when the server is back; the next outage alerts again.
TEST_F(StartStop, AnOutageOfSeveralServicesRaisesOneAlertAndEndsWithAllRunning) {
    c.recon = true;
    for (const char* port : {"900", "901", "902"})
        add(port);
    c.startTunnel(nullptr);
    f.runLoop.advance(3.0);
    for (int outage = 1; outage <= 2; ++outage) {
        f.launcher.onLaunch = [](FakeChild& child) { child.exit(255); };
        for (std::size_t i = 0; i < 3; ++i)
            childOf(i)->exit(255);
        f.runLoop.advance(30.0);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(status(i), "Retrying...") << outage;
            EXPECT_TRUE(entry(i).service->isRunning());
        }
        EXPECT_EQ(mainAlerts(), std::vector<std::string>(outage, kFailedAlert));
        EXPECT_EQ(c.toolTipForRow(&f.ui.serviceList, 0).rfind("Connection lost; next try at ", 0),
                  0u);
        EXPECT_EQ(f.ui.statusText.value, "3 Tunneling services are running...");

        f.launcher.onLaunch = nullptr;
        f.runLoop.advance(60.0);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(status(i), "Running...") << outage;
        EXPECT_EQ(c.toolTipForRow(&f.ui.serviceList, 0).find("next try"), std::string::npos);
        f.runLoop.advance(60.0); // settled
    }
}

// The built-in ssh gets keep-alive and exit-on-forward-failure options before its own
// arguments unless the user's OpenSSH configuration sets them; an own command gets none.
TEST_F(StartStop, TheBuiltInSshGetsTheOptionsTheUsersConfigurationLacks) {
    add("900");
    const std::vector<std::string> parts{"alice@localhost", "-L", "900:127.0.0.1:80", "-N"};
    struct Case {
        SshConfigQuery::Settings set;
        std::vector<std::string> options;
    };
    const std::vector<Case> cases{
        {{false, false},
         {"-o", "ServerAliveInterval=15", "-o", "ServerAliveCountMax=3", "-o",
          "ExitOnForwardFailure=yes"}},
        {{true, false}, {"-o", "ExitOnForwardFailure=yes"}},
        {{false, true}, {"-o", "ServerAliveInterval=15", "-o", "ServerAliveCountMax=3"}},
        {{true, true}, {}},
    };
    for (const Case& k : cases) {
        f.sshConfig.settings = k.set;
        f.ui.userName.value = "alice";
        std::vector<std::string> expected = k.options;
        expected.insert(expected.end(), parts.begin(), parts.end());
        (*c.theServiceList)[0].service->setUser("alice", "pw", "localhost", "900", "127.0.0.1:80");
        select(0);
        c.startTunnel(nullptr);
        EXPECT_EQ(f.launcher.last()->arguments, expected);
        c.stopTunnel(nullptr);
    }
    EXPECT_EQ(f.sshConfig.asked.back(), "alice@localhost");
    c.use_my_command = true;
    c.heres_my_command = "/usr/bin/ssh";
    c.heres_my_arguments = "%u@%h";
    c.startTunnel(nullptr);
    EXPECT_EQ(f.launcher.last()->arguments,
              (std::vector<std::string>{"alice@localhost", "-L", "900:127.0.0.1:80", "-N"}));
}

TEST_F(StartStop, ReportsFindTheirRowByTheTunnelObjectAndVisitEveryEntry) {
    add("900");
    add("900"); // same fields, another tunnel
    c.updateMyStatus("Retring...", *entry(1).service);
    EXPECT_EQ(status(0), "Idle...");
    EXPECT_EQ(status(1), "Retring...");

    c.theServiceList->push_back(entry(0)); // two rows sharing one tunnel
    c.updateMyStatus("Error...", *entry(0).service);
    EXPECT_EQ(status(0), "Error...");
    EXPECT_EQ(status(1), "Retring...");
    EXPECT_EQ(status(2), "Error...");
}

TEST_F(StartStop, ATunnelWhoseEntryWasRemovedStillAlertsAndIsVerified) {
    add("900");
    add("901");
    select(0);
    c.startTunnel(nullptr);
    std::shared_ptr<SSHTunnel> orphan = entry(0).service;
    std::shared_ptr<FakeChild> child = childOf(0);
    select(0);
    c.removeFromList(nullptr);
    ASSERT_EQ(c.theServiceList->size(), 1u);
    EXPECT_TRUE(child->signals.empty());

    // The pending check still reports; no row changes.
    f.runLoop.advance(3.0);
    EXPECT_EQ(status(0), "Idle...");
    EXPECT_TRUE(orphan->isRunning());
    EXPECT_EQ(f.ui.statusText.value, "Idle...");

    // "Starting..." asks for the verification, which finds the ended child and fails it.
    child->exit(1);
    c.updateMyStatus("Starting...", *orphan);
    EXPECT_EQ(mainAlerts(), std::vector<std::string>{kFailedAlert});
    EXPECT_FALSE(orphan->isRunning());
    EXPECT_EQ(status(0), "Idle...");

    c.updateMyStatus("Failed...", *orphan);
    EXPECT_EQ(mainAlerts().size(), 2u);
}

// --- Status line --------------------------------------------------------------------------

TEST_F(StartStop, StatusLineCountsRunningTunnelsNotLiveChildren) {
    add("900");
    add("901");
    select(0);
    c.startTunnel(nullptr);
    EXPECT_EQ(f.ui.statusText.value, "1 Tunneling services are running...");
    childOf(0)->exit(1); // ended, but not yet noticed: the service is still meant to be up
    c.updateStatus();
    EXPECT_EQ(f.ui.statusText.value, "1 Tunneling services are running...");
    EXPECT_TRUE(f.ui.wheelie.animating);

    select(1);
    c.startTunnel(nullptr);
    EXPECT_EQ(f.ui.statusText.value, "2 Tunneling services are running...");
}

TEST_F(StartStop, RefreshSelectsTheRememberedRowAgain) {
    add("900");
    add("901");
    f.ui.serviceList.reloadData();
    c.selectedRow = 1;
    f.ui.serviceList.selected = -1;
    c.updateStatus();
    EXPECT_EQ(f.ui.serviceList.selected, 1);

    c.selectedRow = 5; // past the end after removals: nothing selected
    c.updateStatus();
    EXPECT_EQ(f.ui.serviceList.selected, -1);

    c.selectedRow = -1; // none remembered: the selection is left alone
    f.ui.serviceList.selected = 0;
    c.updateStatus();
    EXPECT_EQ(f.ui.serviceList.selected, 0);
}

TEST_F(StartStop, AListNotYetCreatedCountsAsEmpty) {
    c.theServiceList.reset();
    c.updateStatus();
    c.startTunnel(nullptr);
    c.stopTunnel(nullptr);
    EXPECT_EQ(f.ui.statusText.value, "Idle...");
    EXPECT_TRUE(f.launcher.children.empty());
}

} // namespace
