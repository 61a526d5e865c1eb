// SPDX-License-Identifier: GPL-3.0-or-later
// What the tray shows and what its menu does, on the headless controller: the lights and
// the tool tip follow the services; every action goes through the window's operations, so
// the lock and the alerts apply, and the user's selection is left as it was. The command
// line's commands go through the same operations; their refusals are answered, not shown.
#include "ControllerFixture.h"
#include "desktop/RemoteCommands.h"
#include "desktop/TrayActions.h"
#include "desktop/TrayView.h"
#include "desktop/TrayViewBuilder.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

constexpr const char* kLocked =
    "This application is locked. You must authenticate before using this feature.";
constexpr const char* kAlreadyRunning =
    "Service is already running. Maybe do a stop and then try to start it.";
constexpr const char* kAlreadyStopped =
    "Service is already not running. Maybe do a start and then try to stop it.";
constexpr const char* kSomeRunning = "You have at least one service running already, you will "
                                     "have to manually click start on each one.";

class Tray : public ::testing::Test {
protected:
    ControllerFixture f;
    QuillboreDel& c = f.controller;
    TrayActions actions{c};
    RemoteCommands remote{c};

    void SetUp() override {
        ControllerFixture::removeHomeFile(".QuillboreSSH.lst");
        c.theServiceList.emplace();
        c.selectedRow = -1;
        c.updateStatus();
    }
    void add(const std::string& server, const std::string& port, const std::string& forward) {
        c.addService(nullptr);
        f.ui.serverAddress.value = server;
        f.ui.serverPort.value = port;
        f.ui.userPassword.value = "secret-pw";
        f.ui.forwardInfo.value = forward;
        c.addToList(nullptr);
    }
    void setStatus(std::size_t i, const std::string& status) {
        (*c.theServiceList)[i] = (*c.theServiceList)[i].withStatus(status);
    }
    TrayView view() { return TrayView::of(c); }
    bool running(std::size_t i) { return c.theServiceList->at(i).service->isRunning(); }
};

TEST_F(Tray, TheLightIsRedOverYellowOverGreenOverGrey) {
    add("a.example", "900", "db:5432");
    add("b.example", "901", "db:5433");
    add("c.example", "902", "db:5434");
    EXPECT_EQ(view().light, image::StatusNone);

    setStatus(0, "Running...");
    EXPECT_EQ(view().light, image::StatusAvailable) << "idle services do not spoil green";
    for (const char* coming : {"Starting...", "Retrying...", "Retring..."}) {
        setStatus(1, coming);
        EXPECT_EQ(view().light, image::StatusPartiallyAvailable) << coming;
    }
    for (const char* broken : {"Failed...", "Connection Closed..."}) {
        setStatus(2, broken);
        EXPECT_EQ(view().light, image::StatusUnavailable) << broken;
    }
    // Ended cleanly or in error, without being one of the two broken states: not red.
    setStatus(1, "Idle...");
    setStatus(2, "Service killed...");
    EXPECT_EQ(view().light, image::StatusAvailable);
    setStatus(0, "Idle...");
    EXPECT_EQ(view().light, image::StatusNone);
}

TEST_F(Tray, TheToolTipCountsRunningServicesAndEntriesNameServerTunnelAndStatus) {
    EXPECT_EQ(view().toolTip, "0 of 0 services running");
    EXPECT_TRUE(view().entries.empty());
    add("a.example", "900", "db:5432");
    EXPECT_EQ(view().toolTip, "0 of 1 service running");
    add("b.example", "1080", "SOCKS");
    c.addService(nullptr);
    f.ui.serverAddress.value = "c.example";
    f.ui.serverPort.value = "2222";
    f.ui.forwardInfo.value = "127.0.0.1:22";
    f.ui.reverseButton.setState(1);
    c.addToList(nullptr);
    setStatus(1, "Running...");
    setStatus(2, "Starting..."); // a live child that is not up yet does not count

    const TrayView v = view();
    EXPECT_EQ(v.toolTip, "1 of 3 services running");
    ASSERT_EQ(v.entries.size(), 3u);
    EXPECT_EQ(v.entries[0].label, "a.example  local db:5432 :900  Idle...");
    EXPECT_EQ(v.entries[0].light, image::StatusNone);
    EXPECT_EQ(v.entries[1].label, "b.example  SOCKS :1080  Running...");
    EXPECT_EQ(v.entries[1].light, image::StatusAvailable);
    EXPECT_EQ(v.entries[2].label, "c.example  reverse 127.0.0.1:22 :2222  Starting...");
    for (const auto& e : v.entries)
        EXPECT_EQ(e.label.find("secret-pw"), std::string::npos);
}

// The tray is refreshed by one builder all along: after each change it shows what a view
// made afresh shows, whether a status, a field, the rows' order or the lock changed.
TEST_F(Tray, ARefreshedViewShowsWhatAFreshOneShows) {
    add("a.example", "900", "db:5432");
    add("b.example", "901", "db:5433");
    add("c.example", "902", "db:5434");
    TrayViewBuilder builder;
    const struct {
        const char* change;
        std::function<void()> make;
    } changes[] = {
        {"nothing", [] {}},
        {"a status", [&] { setStatus(1, "Running..."); }},
        {"another status", [&] { setStatus(1, "Failed..."); }},
        {"a port", [&] { (*c.theServiceList)[2].listenPort = "9902"; }},
        {"a tunnel", [&] { (*c.theServiceList)[2].tunnelDescription = "SOCKS"; }},
        {"a server", [&] { (*c.theServiceList)[0].server = "z.example"; }},
        {"a row removed", [&] { c.theServiceList->erase(c.theServiceList->begin()); }},
        {"a row added", [&] { add("d.example", "903", "db:5435"); }},
        {"the lock", [&] { actions.lock(); }},
    };
    for (const auto& change : changes) {
        change.make();
        EXPECT_EQ(builder.of(c), TrayView::of(c)) << change.change;
    }
    EXPECT_EQ(builder.of(c).entries.at(0).label, "b.example  local db:5433 :901  Failed...");
}

TEST_F(Tray, AServiceEntryStartsAndStopsThatServiceAndKeepsTheUsersSelection) {
    add("a.example", "900", "db:5432");
    add("b.example", "901", "db:5433");
    f.ui.serviceList.clickRow(0);
    c.gotsAClick(nullptr);

    actions.toggleService(1);
    EXPECT_FALSE(running(0));
    EXPECT_TRUE(running(1));
    EXPECT_EQ(c.theServiceList->at(1).status, "Starting...");
    EXPECT_EQ(f.ui.serviceList.selected, 0);
    EXPECT_EQ(c.selectedRow, 0);

    actions.toggleService(1);
    EXPECT_FALSE(running(1));
    EXPECT_EQ(c.theServiceList->at(1).status, "Idle...");
    EXPECT_TRUE(f.ui.mainWindow.alertTexts().empty());
    actions.toggleService(7); // a row that went away meanwhile: nothing
    EXPECT_EQ(f.launcher.children.size(), 1u);
}

TEST_F(Tray, StartAllAndStopAllActOnEveryServiceWhateverIsSelected) {
    add("a.example", "900", "db:5432");
    add("b.example", "901", "db:5433");
    f.ui.serviceList.clickRow(1);
    c.gotsAClick(nullptr);

    actions.startAll();
    EXPECT_TRUE(running(0));
    EXPECT_TRUE(running(1));
    EXPECT_EQ(f.ui.serviceList.selected, 1);
    actions.stopAll();
    EXPECT_FALSE(running(0));
    EXPECT_FALSE(running(1));
    EXPECT_TRUE(f.ui.mainWindow.alertTexts().empty());
}

TEST_F(Tray, AlertsOfATrayActionAppearOnTheMainWindowWhichIsShownForThem) {
    add("a.example", "900", "db:5432");
    add("b.example", "901", "db:5433");
    actions.toggleService(0);
    f.ui.mainWindow.orderOut();

    actions.startAll(); // the window's own rule: some already run
    EXPECT_EQ(f.ui.mainWindow.alertTexts(), std::vector<std::string>{kSomeRunning});
    EXPECT_TRUE(f.ui.mainWindow.visible);
    EXPECT_FALSE(running(1));
    EXPECT_EQ(c.mainWindow, &f.ui.mainWindow) << "the outlet is the window again";
}

TEST_F(Tray, WhileLockedEveryActionShowsTheLockedAlertOnTheShownMainWindow) {
    add("a.example", "900", "db:5432");
    actions.lock();
    EXPECT_EQ(f.ui.lockButtons.image(), image::LockLocked);
    EXPECT_TRUE(view().locked);
    f.ui.mainWindow.orderOut();
    const std::size_t before = f.ui.mainWindow.alertTexts().size();

    actions.toggleService(0);
    actions.startAll();
    actions.stopAll();
    actions.lock();
    const auto alerts = f.ui.mainWindow.alertTexts();
    ASSERT_EQ(alerts.size(), before + 4);
    for (std::size_t i = before; i < alerts.size(); ++i)
        EXPECT_EQ(alerts[i], kLocked);
    EXPECT_TRUE(f.ui.mainWindow.visible);
    EXPECT_FALSE(running(0));
    EXPECT_TRUE(f.launcher.launchedWith("/usr/bin/ssh").empty());
    EXPECT_EQ(f.ui.lockButtons.image(), image::LockLocked) << "the tray never unlocks";
}

TEST_F(Tray, ShowWindowBringsTheMainWindowToTheFront) {
    f.ui.mainWindow.orderOut();
    actions.showWindow();
    EXPECT_TRUE(f.ui.mainWindow.visible);
}

TEST_F(Tray, ACommandFindsAServiceByRowOrServerAndPortAndNamesWhatItCannotFind) {
    add("a.example", "900", "db:5432");
    add("b.example", "901", "SOCKS");
    add("b.example", "901", "db:5433");
    add("::1", "2222", "SOCKS");
    struct Case {
        std::string which;
        int startedRow; // -1: none
        std::string answer;
    } cases[] = {
        {"2", 1, ""},
        {"a.example:900", 0, ""},
        {"::1:2222", 3, ""},
        {"[::1]:2222", 3, ""},
        {"0", -1, "There is no service in row 0."},
        {"5", -1, "There is no service in row 5."},
        {"18446744073709551617", -1, "There is no service in row 18446744073709551617."},
        {"b.example:901", -1,
         "2 services have the server b.example and the listen port 901: name one by its row "
         "number."},
        {"a.example:901", -1, "No service has the server a.example and the listen port 901."},
        {"a.example", -1, "a.example is neither a row number nor HOST:PORT."},
    };
    for (const Case& t : cases) {
        EXPECT_EQ(remote.start(t.which), t.answer) << t.which;
        for (std::size_t row = 0; row < 4; ++row)
            EXPECT_EQ(running(row), static_cast<int>(row) == t.startedRow) << t.which;
        EXPECT_EQ(remote.stop(t.which), t.startedRow < 0 ? t.answer : "") << t.which;
        EXPECT_EQ(remote.isServiceReference(t.which), t.answer.find("neither") == std::string::npos)
            << t.which;
    }
    EXPECT_TRUE(f.ui.mainWindow.alertTexts().empty());
}

TEST_F(Tray, ACommandsRefusalIsAnsweredAndNeverShown) {
    add("a.example", "900", "db:5432");
    add("b.example", "901", "db:5433");
    f.ui.mainWindow.orderOut();
    EXPECT_EQ(remote.start("1"), "");
    EXPECT_EQ(remote.start("1"), kAlreadyRunning);
    EXPECT_EQ(remote.stop("2"), kAlreadyStopped);
    EXPECT_EQ(remote.startAll(), kSomeRunning);
    EXPECT_FALSE(running(1));
    EXPECT_EQ(remote.stopAll(), "");
    EXPECT_FALSE(running(0));

    actions.lock();
    const std::size_t alerts = f.ui.mainWindow.alertTexts().size();
    f.ui.mainWindow.orderOut();
    // Locked, nothing else is told: not even that a service does not exist.
    for (const std::string& answer :
         {remote.start("1"), remote.stop("1"), remote.start("9"), remote.stop("nowhere:1"),
          remote.startAll(), remote.stopAll()})
        EXPECT_EQ(answer, kLocked);
    EXPECT_EQ(f.launcher.launchedWith("/usr/bin/ssh").size(), 1u);
    EXPECT_EQ(f.ui.mainWindow.alertTexts().size(), alerts);
    EXPECT_FALSE(f.ui.mainWindow.visible);
    EXPECT_EQ(remote.status().size(), 2u) << "the status is no secret the window keeps";
}

TEST_F(Tray, TheStatusListsRowsAsTheTableAndTheSavedListAsIdle) {
    add("a.example", "900", "db:5432");
    add("b.example", "1080", "SOCKS");
    c.saveUserData();
    remote.start("1");
    setStatus(1, "Retring...");

    using Row = RemoteCommands::Row;
    EXPECT_EQ(remote.status(),
              (std::vector<Row>{{1, "a.example", "900", "local db:5432", "Starting..."},
                                {2, "b.example", "1080", "SOCKS", "Retring..."}}));
    EXPECT_EQ(RemoteCommands::line({12, "x\ty", "1", "local a\r\nb", "Idle..."}),
              "12\tx y\t1\tlocal a  b\tIdle...");
    // What the application shows when it starts, whatever runs now.
    EXPECT_EQ(RemoteCommands::savedServices(c.getUserDir(), c.getLoginName()),
              (std::vector<Row>{{1, "a.example", "900", "local db:5432", "Idle..."},
                                {2, "b.example", "1080", "SOCKS", "Idle..."}}));
    EXPECT_TRUE(RemoteCommands::savedServices(c.getUserDir() + "/nowhere", "x").empty());
}

} // namespace
