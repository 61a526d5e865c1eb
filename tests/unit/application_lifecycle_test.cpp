// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerFixture.h"
#include "platform/Accounts.h"
#include "platform/Files.h"
#include "store/Cipher.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kWelcome =
    "Thank you for installing my app! If you are not using the auto fill method of ssh-askpass "
    "then do not type your actual password as you will be prompted to input your password at "
    "the time of connection. To learn about the ssh-askpass options please see our website.";

std::string record(const std::string& server, const std::string& port, const std::string& user,
                   const std::string& password, const std::string& tunnel) {
    const char us = 0x1F;
    return server + us + port + us + user + us + password + us + tunnel;
}

// Forwards to the controller and remembers what the preferences said at the first reload.
struct SpyDataSource : TableDataSource {
    QuillboreDel& c;
    std::optional<bool> reconAtFirstReload;
    explicit SpyDataSource(QuillboreDel& controller) : c(controller) {}
    long numberOfRowsInTableView(TableView* t) override {
        if (!reconAtFirstReload) reconAtFirstReload = c.recon;
        return c.numberOfRowsInTableView(t);
    }
    CellView* viewForTableColumn(TableView* t, TableColumn* col, long row) override {
        return c.viewForTableColumn(t, col, row);
    }
};

struct LifecycleTest : ::testing::Test {
    ControllerFixture f;
    QuillboreDel& c = f.controller;
    MemoryLayout& ui = f.ui;

    LifecycleTest() {
        for (const char* name : {".QuillboreSSH", ".QuillboreSSH.lst", ".ssh-askpass"})
            ControllerFixture::removeHomeFile(name);
    }
    void writeList(const std::string& plain) {
        ControllerFixture::writeHomeFile(".QuillboreSSH.lst",
                                         cipher::encryptString(plain, c.getLoginName()));
    }
    void writePreferences(const std::string& plain) {
        ControllerFixture::writeHomeFile(".QuillboreSSH", cipher::encryptString(plain, "529"));
    }
    std::vector<std::vector<std::string>> sshAddArguments() const {
        std::vector<std::vector<std::string>> all;
        for (const auto& child : f.launcher.launchedWith("/usr/bin/ssh-add"))
            all.push_back(child->arguments);
        return all;
    }
};

// --- Start ---------------------------------------------------------------------------------

TEST_F(LifecycleTest, StartGivesUpAnyGrantAndForgetsTheRow) {
    c.authRef = true;
    f.authorizer.held = true;
    c.selectedRow = 3;

    c.applicationDidFinishLaunching();

    EXPECT_FALSE(c.authRef);
    EXPECT_FALSE(f.authorizer.held);
    EXPECT_EQ(c.selectedRow, -1);
}

TEST_F(LifecycleTest, PreferencesAreAppliedBeforeTheListLoads) {
    writePreferences("1\r\n0\r\n0\r\n0\r\n\r\n\r\n1\r\n/k/id\r\n");
    writeList(record("a.example", "1080", "ann", "pw", "SOCKS") + "\r\n" +
              record("b.example", "8080", "bob", "pw2", "localhost:80"));
    SpyDataSource spy(c);
    ui.serviceList.setDataSource(&spy);
    // Anything the table created earlier is replaced by a fresh list.
    c.theServiceList =
        std::vector<ServiceEntry>{ServiceEntry{"stale", "1", "Idle...", "", "", "SOCKS", nullptr}};

    c.applicationDidFinishLaunching();

    ASSERT_TRUE(spy.reconAtFirstReload.has_value());
    EXPECT_TRUE(*spy.reconAtFirstReload);
    EXPECT_EQ(sshAddArguments(), (std::vector<std::vector<std::string>>{{"/k/id"}}));
    ASSERT_EQ(c.theServiceList->size(), 2u);
    EXPECT_EQ((*c.theServiceList)[0].server, "a.example");
    EXPECT_EQ((*c.theServiceList)[1].server, "b.example");
    EXPECT_EQ((*c.theServiceList)[1].status, "Idle...");
    EXPECT_TRUE(ui.mainWindow.alerts.empty());
}

TEST_F(LifecycleTest, FirstStartWithoutAListWelcomesTheUser) {
    c.applicationDidFinishLaunching();

    ASSERT_TRUE(c.theServiceList.has_value());
    EXPECT_TRUE(c.theServiceList->empty());
    EXPECT_EQ(ui.mainWindow.alertTexts(), std::vector<std::string>{kWelcome});
    EXPECT_TRUE(f.launcher.children.empty());
}

TEST_F(LifecycleTest, StartedLockedLoadsTheListButAppliesNoPreferences) {
    ui.lockButtons.imageName = image::LockLocked;
    writePreferences("0\r\n1\r\n0\r\n0\r\n/bin/cmd\r\n-x\r\n1\r\n/k/id\r\n");
    writeList(record("a.example", "1080", "ann", "pw", "SOCKS"));

    c.applicationDidFinishLaunching();

    EXPECT_FALSE(c.use_my_command);
    EXPECT_FALSE(c.recon);
    EXPECT_TRUE(f.launcher.children.empty());
    EXPECT_EQ(c.theServiceList->size(), 1u);
}

// A crash between a save's temporary file and its rename leaves a scrambled copy of the
// passwords beside the file; the next start removes it, and nothing of the user's.
TEST_F(LifecycleTest, StartRemovesLeftoversOfInterruptedSaves) {
    const std::string home = std::getenv("QB_TEST_HOME");
    const std::vector<std::string> leftovers = {".QuillboreSSH.lst.qbtmp-a1B2c3",
                                                ".QuillboreSSH.qbtmp-ZZ9zz9",
                                                ".ssh-askpass.qbtmp-000000"};
    for (const auto& name : leftovers)
        ControllerFixture::writeHomeFile(name, "scrambled");
    ControllerFixture::writeHomeFile(".QuillboreSSH.lst.orig", "the user's");

    c.applicationDidFinishLaunching();

    for (const auto& name : leftovers)
        EXPECT_NE(::access((home + "/" + name).c_str(), F_OK), 0) << name;
    EXPECT_EQ(ControllerFixture::readHomeFile(".QuillboreSSH.lst.orig"), "the user's");
    ControllerFixture::removeHomeFile(".QuillboreSSH.lst.orig");
}

// Dotfile managers link the data files: saving writes the link's target and keeps the link.
TEST_F(LifecycleTest, ALinkedServiceListIsSavedThroughTheLink) {
    const std::string home = std::getenv("QB_TEST_HOME");
    const std::string folder = home + "/dotfiles";
    ::mkdir(folder.c_str(), 0700);
    const std::string target = folder + "/services";
    ASSERT_EQ(::symlink("dotfiles/services", (home + "/.QuillboreSSH.lst").c_str()), 0);
    writeList(record("a.example", "1080", "ann", "pw", "SOCKS"));
    const std::string before = ControllerFixture::readHomeFile(".QuillboreSSH.lst");

    c.applicationDidFinishLaunching();
    c.theServiceList->push_back((*c.theServiceList)[0]);
    c.markListChanged();
    ui.serviceList.reloadData();

    struct stat st {};
    ASSERT_EQ(::lstat((home + "/.QuillboreSSH.lst").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    const std::string after = files::readWhole(target).value_or("");
    EXPECT_NE(after, before);
    EXPECT_EQ(cipher::decryptString(after, c.getLoginName()),
              record("a.example", "1080", "ann", "pw", "SOCKS") + "\r\n" +
                  record("a.example", "1080", "ann", "pw", "SOCKS"));
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ControllerFixture::removeHomeFile(".QuillboreSSH.lst");
    ::unlink(target.c_str());
    ::rmdir(folder.c_str());
}

TEST_F(LifecycleTest, TitleReadsLikeAShellPrompt) {
    ui.mainWindow.setTitle("Tunnels");
    c.applicationDidFinishLaunching();
    const std::string marker = accounts::realUserId() == 0 ? "#" : "$";
    EXPECT_EQ(ui.mainWindow.title(),
              "[" + ControllerFixture::home() + "] " + c.getLoginName() + marker + " ./Tunnels");
}

TEST_F(LifecycleTest, DoubleClickIsBoundToTheController) {
    c.applicationDidFinishLaunching();
    ui.mainWindow.alerts.clear();
    ui.lockButtons.imageName = image::LockLocked;

    ui.serviceList.doubleClick();

    EXPECT_EQ(ui.mainWindow.alertTexts(), std::vector<std::string>{QuillboreDel::kLockedMessage});
}

TEST_F(LifecycleTest, StatusTimerRunsEverySecondFromOneSecondOnEvenWithAnEmptyList) {
    c.applicationDidFinishLaunching();
    ui.statusText.value.clear();

    f.runLoop.advance(0.9);
    EXPECT_EQ(ui.statusText.value, "");
    f.runLoop.advance(0.1);
    EXPECT_EQ(ui.statusText.value, "Idle...");

    for (int second = 2; second <= 4; ++second) {
        ui.statusText.value.clear();
        f.runLoop.advance(0.5);
        EXPECT_EQ(ui.statusText.value, "") << "second " << second;
        f.runLoop.advance(0.5);
        EXPECT_EQ(ui.statusText.value, "Idle...") << "second " << second;
    }
}

// --- End -----------------------------------------------------------------------------------

TEST_F(LifecycleTest, EndUnloadsKeysStopsEveryTunnelRemovesTheAskpassFileAndLetsGo) {
    writeList(record("a.example", "1080", "ann", "pw", "SOCKS") + "\r\n" +
              record("b.example", "8080", "bob", "pw2", "localhost:80") + "\r\n" +
              record("c.example", "9090", "cy", "pw3", "SOCKS"));
    c.applicationDidFinishLaunching();
    (*c.theServiceList)[0].service->startService();
    (*c.theServiceList)[2].service->startService();
    const std::string listBefore = ControllerFixture::readHomeFile(".QuillboreSSH.lst");
    ControllerFixture::writeHomeFile(".ssh-askpass", "secret");
    ui.keepKeys.stateValue = 1; // keys go at the end whatever the check box says
    c.authRef = true;
    f.authorizer.held = true;
    const int releasesBefore = f.authorizer.releases;

    c.applicationWillTerminate();

    EXPECT_EQ(sshAddArguments(), (std::vector<std::vector<std::string>>{{"-D"}}));
    auto ssh = f.launcher.launchedWith("/usr/bin/ssh");
    ASSERT_EQ(ssh.size(), 2u);
    for (const auto& child : ssh)
        EXPECT_EQ(child->signals, (std::vector<int>{SIGINT, SIGTERM}));
    for (const auto& entry : *c.theServiceList)
        EXPECT_FALSE(entry.service->isRunning());
    EXPECT_EQ(c.theServiceList->size(), 3u);
    EXPECT_EQ(ControllerFixture::readHomeFile(".QuillboreSSH.lst"), listBefore);
    EXPECT_EQ(ControllerFixture::readHomeFile(".ssh-askpass"), "");
    EXPECT_FALSE(c.authRef);
    EXPECT_FALSE(f.authorizer.held);
    EXPECT_GT(f.authorizer.releases, releasesBefore);
}

// ssh-add -D must have reached the agent before the application exits (its children die with
// it): the end waits for it, boundedly, and that ssh-add is not tied to the application.
TEST_F(LifecycleTest, EndWaitsBoundedlyForTheKeysToLeaveTheAgent) {
    c.applicationDidFinishLaunching();
    const std::size_t before = f.launcher.children.size();
    c.applicationWillTerminate();
    auto unload = f.launcher.launchedWith("/usr/bin/ssh-add").back();
    ASSERT_EQ(f.launcher.children.size(), before + 1);
    EXPECT_EQ(unload->arguments, std::vector<std::string>{"-D"});
    EXPECT_EQ(unload->waits, std::vector<double>{QuillboreDel::kAgentUnloadWaitSeconds});
    EXPECT_LE(QuillboreDel::kAgentUnloadWaitSeconds, 10.0);
    EXPECT_FALSE(unload->diesWithApplication);
}

TEST_F(LifecycleTest, EndWithAnEmptyListOnlyUnloadsAndReleases) {
    c.applicationDidFinishLaunching();
    c.applicationWillTerminate();
    ASSERT_EQ(f.launcher.children.size(), 1u);
    EXPECT_EQ(sshAddArguments(), (std::vector<std::vector<std::string>>{{"-D"}}));
    EXPECT_FALSE(f.authorizer.held);
}

TEST_F(LifecycleTest, EndBeforeAnyListExistsIsHarmless) {
    c.applicationWillTerminate();
    EXPECT_EQ(sshAddArguments(), (std::vector<std::vector<std::string>>{{"-D"}}));
}

// --- Opening the preferences ---------------------------------------------------------------

TEST_F(LifecycleTest, OpenPreferencesShowsTheWindowOnlyWhenUnlocked) {
    c.openPreferences(nullptr);
    EXPECT_TRUE(ui.aboutWindow.visible);
    EXPECT_TRUE(ui.mainWindow.alerts.empty());

    ui.aboutWindow.orderOut();
    ui.lockButtons.imageName = image::LockLocked;
    c.openPreferences(nullptr);
    EXPECT_FALSE(ui.aboutWindow.visible);
    EXPECT_EQ(ui.aboutWindow.timesShown, 1);
    EXPECT_EQ(ui.mainWindow.alertTexts(), std::vector<std::string>{QuillboreDel::kLockedMessage});
}

} // namespace
