// SPDX-License-Identifier: GPL-3.0-or-later
// The add and edit windows, removal and the SOCKS box coupling, through the controller's
// actions on the in-memory layout.
#include "ControllerFixture.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr const char* kFillAll = "Make sure you fill in all the boxes...";

class Editing : public ::testing::Test {
protected:
    ControllerFixture f;
    QuillboreDel& c = f.controller;
    MemoryLayout& ui = f.ui;

    void SetUp() override {
        ControllerFixture::removeHomeFile(".QuillboreSSH.lst");
        c.theServiceList.emplace();
        c.selectedRow = -1;
    }

    // Opens the add window and types into it; SOCKS and reverse as given.
    void typeAdd(const std::string& port, const std::string& forward, bool socks = false,
                 bool reverse = false) {
        c.addService(nullptr);
        ui.serverPort.value = port;
        ui.forwardInfo.value = forward;
        ui.userPassword.value = "pw";
        ui.isSocks.stateValue = socks ? 1 : 0;
        ui.reverseButton.stateValue = reverse ? 1 : 0;
    }
    void add(const std::string& port, const std::string& forward, bool socks = false,
             bool reverse = false) {
        typeAdd(port, forward, socks, reverse);
        c.addToList(nullptr);
    }
    void openEdit(long row) {
        ui.serviceList.selected = row;
        c.editService(nullptr);
    }

    std::vector<ServiceEntry>& list() { return *c.theServiceList; }
    std::vector<std::string> descriptions() {
        std::vector<std::string> out;
        for (const auto& e : list())
            out.push_back(e.tunnelDescription);
        return out;
    }
    std::vector<std::string> ports() {
        std::vector<std::string> out;
        for (const auto& e : list())
            out.push_back(e.listenPort);
        return out;
    }
};

// --- The add window -----------------------------------------------------------------------

TEST_F(Editing, AddWindowOpensWithPresetsAndLeavesTheSocksBoxAlone) {
    ui.isSocks.stateValue = 1;
    ui.reverseButton.stateValue = 1;
    ui.reverseButton.enabled = false;
    ui.serverAddress.value = "old";
    c.addService(nullptr);
    EXPECT_TRUE(ui.addWindow.visible);
    EXPECT_EQ(ui.userName.value, c.getLoginName());
    EXPECT_EQ(ui.serverAddress.value, "localhost");
    EXPECT_EQ(ui.userPassword.value, "");
    EXPECT_EQ(ui.forwardInfo.value, "");
    EXPECT_EQ(ui.serverPort.value, "8080");
    EXPECT_EQ(ui.okButton.stateValue, 1);
    EXPECT_EQ(ui.canButton.stateValue, 1);
    EXPECT_EQ(ui.reverseButton.stateValue, 0);
    EXPECT_FALSE(ui.reverseButton.enabled);
    EXPECT_EQ(ui.isSocks.stateValue, 1);
}

TEST_F(Editing, RequiredBoxesAreServerUserAndListenPortAsTyped) {
    for (TextField* box :
         {static_cast<TextField*>(&ui.serverAddress), static_cast<TextField*>(&ui.userName),
          static_cast<TextField*>(&ui.serverPort)}) {
        typeAdd("900", "127.0.0.1:80");
        box->setStringValue("");
        c.addToList(nullptr);
    }
    EXPECT_EQ(ui.addWindow.alertTexts(), (std::vector<std::string>(3, kFillAll)));
    EXPECT_TRUE(list().empty());
    EXPECT_TRUE(ui.addWindow.visible);
    EXPECT_TRUE(ui.mainWindow.alerts.empty());

    typeAdd("  ", ""); // spaces fill a box; password and forward may be empty
    ui.userPassword.value = "";
    c.addToList(nullptr);
    ASSERT_EQ(list().size(), 1u);
    EXPECT_EQ(list()[0].listenPort, "  ");
    EXPECT_EQ(list()[0].tunnelDescription, "");
    EXPECT_FALSE(ui.addWindow.visible);
}

TEST_F(Editing, OneServiceIsStoredAsTypedWithItsOwnConfiguredIdleTunnel) {
    typeAdd(" 8080", "127.0.0.1:80");
    ui.serverAddress.value = "host.example";
    ui.userName.value = "bob";
    ui.userPassword.value = "p w";
    c.addToList(nullptr);
    ASSERT_EQ(list().size(), 1u);
    const ServiceEntry& e = list()[0];
    EXPECT_EQ(e.server, "host.example");
    EXPECT_EQ(e.listenPort, " 8080");
    EXPECT_EQ(e.status, "Idle...");
    EXPECT_EQ(e.user, "bob");
    EXPECT_EQ(e.password, "p w");
    EXPECT_EQ(e.tunnelDescription, "127.0.0.1:80");
    ASSERT_TRUE(e.service);
    EXPECT_FALSE(e.service->isRunning());
    EXPECT_EQ(e.service->userName(), "bob");
    EXPECT_EQ(e.service->password(), "p w");
    EXPECT_EQ(e.service->server(), "host.example");
    EXPECT_EQ(e.service->listenPort(), " 8080");
    EXPECT_EQ(e.service->tunnelMode(), "127.0.0.1:80");
    EXPECT_TRUE(f.launcher.children.empty());
}

TEST_F(Editing, SeveralPortsAddOneEntryEachWithSpacesRemoved) {
    add("900, 901", "127.0.0.1:80,127.0.0.1:81");
    EXPECT_EQ(ports(), (std::vector<std::string>{"900", "901"}));
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"127.0.0.1:80", "127.0.0.1:81"}));
    ASSERT_EQ(list().size(), 2u);
    EXPECT_NE(list()[0].service, list()[1].service);
    EXPECT_EQ(list()[1].service->listenPort(), "901");
    EXPECT_EQ(list()[1].service->tunnelMode(), "127.0.0.1:81");
    EXPECT_EQ(list()[1].status, "Idle...");

    add("902 ,903", "h:1, h:2", /*socks=*/false, /*reverse=*/true);
    EXPECT_EQ(descriptions()[2], "Reverse Tunnel: h:1");
    EXPECT_EQ(descriptions()[3], "Reverse Tunnel: h:2");
    EXPECT_EQ(list()[3].service->tunnelMode(), "Reverse Tunnel: h:2");

    add("8080,", "127.0.0.1:80,"); // a trailing comma makes an empty last pair
    EXPECT_EQ(ports()[5], "");
    EXPECT_EQ(descriptions()[5], "");
    EXPECT_EQ(list().size(), 6u);
}

TEST_F(Editing, UnequalCountsAreRefusedWithBothCounts) {
    add("900,901", "", /*socks=*/true);
    EXPECT_EQ(ui.addWindow.alertTexts(),
              std::vector<std::string>{"Listen Ports and Forward Address object count are not "
                                       "equal. \nListen Count: 2\nForward Count: 1"});
    add("900", "a:1,b:2,c:3");
    EXPECT_EQ(ui.addWindow.alertTexts().back(),
              "Listen Ports and Forward Address object count are not equal. \nListen Count: "
              "1\nForward Count: 3");
    EXPECT_TRUE(list().empty());
    EXPECT_TRUE(ui.addWindow.visible);
}

TEST_F(Editing, SocksWinsOverReverseForOnePortAndIsIgnoredForSeveral) {
    add("1080", "127.0.0.1:80", /*socks=*/true, /*reverse=*/true);
    add("900,901", "a:1,a:2", /*socks=*/true);
    EXPECT_EQ(descriptions(), (std::vector<std::string>{"SOCKS", "a:1", "a:2"}));
    EXPECT_EQ(list()[0].service->tunnelMode(), "SOCKS");

    add("22", "x: y"); // typed ": " without the reverse box: stored as typed
    EXPECT_EQ(descriptions().back(), "x: y");
}

TEST_F(Editing, AddingWhileLockedIsRefusedButTheOkStillWorks) {
    typeAdd("900", "a:1");
    ui.lockButtons.imageName = image::LockLocked;
    ui.addWindow.visible = false;
    ui.serverPort.value = "kept";
    c.addService(nullptr);
    EXPECT_EQ(ui.mainWindow.alertTexts(), std::vector<std::string>{QuillboreDel::kLockedMessage});
    EXPECT_FALSE(ui.addWindow.visible);
    EXPECT_EQ(ui.serverPort.value, "kept");

    c.addToList(nullptr); // an open form's OK is not locked
    EXPECT_EQ(list().size(), 1u);
}

// --- Text the files cannot hold -----------------------------------------------------------

class Unstorable : public Editing, public ::testing::WithParamInterface<const char*> {};

TEST_P(Unstorable, IsRefusedAtBothWindowsNamingTheBox) {
    const std::string bad = std::string("ab") + GetParam() + "c";
    struct Box {
        const char* name;
        MemoryTextField* add;
        MemoryTextField* edit;
    };
    const Box boxes[] = {{"Server", &ui.serverAddress, &ui.eServerAddress},
                         {"User", &ui.userName, &ui.eUserName},
                         {"Password", &ui.userPassword, &ui.eUserPassword},
                         {"Listen Port", &ui.serverPort, &ui.eServerPort},
                         {"Forward Address", &ui.forwardInfo, &ui.eforwardInfo}};
    add("900", "a:1");
    for (const Box& box : boxes) {
        const std::string message = std::string("The ") + box.name +
                                    " box holds a character that cannot be saved. Use plain "
                                    "letters, digits and punctuation only.";
        typeAdd("901", "a:2");
        box.add->value = bad;
        c.addToList(nullptr);
        EXPECT_EQ(ui.addWindow.alertTexts().back(), message);
        EXPECT_TRUE(ui.addWindow.visible);

        openEdit(0);
        box.edit->value = bad;
        c.editList(nullptr);
        EXPECT_EQ(ui.editWindow.alertTexts().back(), message);
        EXPECT_TRUE(ui.editWindow.visible);
    }
    ASSERT_EQ(list().size(), 1u);
    EXPECT_EQ(list()[0].server, "localhost");
    EXPECT_EQ(list()[0].tunnelDescription, "a:1");
    EXPECT_EQ(list()[0].service->server(), "localhost");
}

INSTANTIATE_TEST_SUITE_P(Characters, Unstorable,
                         ::testing::Values("\xC3\xA9" /* é in UTF-8 */, "\x1F", "\r", "\n",
                                           "\x80"));

TEST_F(Editing, TheRequiredBoxCheckComesBeforeTheCharacterCheck) {
    typeAdd("900", "a:1");
    ui.serverAddress.value = "";
    ui.userPassword.value = "caf\xC3\xA9";
    c.addToList(nullptr);
    EXPECT_EQ(ui.addWindow.alertTexts(), std::vector<std::string>{kFillAll});

    typeAdd("900", "a:1");
    ui.userPassword.value = "tab\tand ~!@#$%^&*()"; // plain ASCII is fine
    c.addToList(nullptr);
    EXPECT_EQ(list().size(), 1u);
}

// --- The edit window ----------------------------------------------------------------------

TEST_F(Editing, EditWindowFillFollowsTheKindOfService) {
    add("1080", "", /*socks=*/true);
    add("900", "127.0.0.1:80");
    add("22", "127.0.0.1:22", /*socks=*/false, /*reverse=*/true);
    list().push_back(list()[2]);
    list()[3].tunnelDescription = "Reverse Tunnel: a:1: b";

    openEdit(0);
    EXPECT_TRUE(ui.editWindow.visible);
    EXPECT_EQ(c.currentRow, 0);
    EXPECT_EQ(ui.eServerPort.value, "1080");
    EXPECT_EQ(ui.eUserName.value, c.getLoginName());
    EXPECT_EQ(ui.eUserPassword.value, "pw");
    EXPECT_EQ(ui.eServerAddress.value, "localhost");
    EXPECT_EQ(ui.eforwardInfo.value, "");
    EXPECT_FALSE(ui.eforwardInfo.enabled);
    EXPECT_EQ(ui.eisSocks.stateValue, 1);
    EXPECT_FALSE(ui.eReverseButton.enabled);
    EXPECT_EQ(ui.eReverseButton.stateValue, 0);

    openEdit(1);
    EXPECT_EQ(ui.eforwardInfo.value, "127.0.0.1:80");
    EXPECT_TRUE(ui.eforwardInfo.enabled);
    EXPECT_EQ(ui.eisSocks.stateValue, 0);
    EXPECT_FALSE(ui.eReverseButton.enabled);
    EXPECT_EQ(ui.eReverseButton.stateValue, 0);

    openEdit(2);
    EXPECT_EQ(ui.eforwardInfo.value, "127.0.0.1:22");
    EXPECT_TRUE(ui.eforwardInfo.enabled);
    EXPECT_EQ(ui.eisSocks.stateValue, 0);
    EXPECT_TRUE(ui.eReverseButton.enabled);
    EXPECT_EQ(ui.eReverseButton.stateValue, 1);

    openEdit(3);
    EXPECT_EQ(ui.eforwardInfo.value, "a:1");
}

TEST_F(Editing, OkOnAnUnchangedReverseEntryRewritesItsLabel) {
    add("22", "127.0.0.1:22", /*socks=*/false, /*reverse=*/true);
    auto tunnel = list()[0].service;
    openEdit(0);
    c.editList(nullptr);
    ASSERT_EQ(list().size(), 1u);
    EXPECT_EQ(list()[0].tunnelDescription, "Reverse: 127.0.0.1:22");
    EXPECT_EQ(list()[0].service, tunnel);
    EXPECT_EQ(tunnel->tunnelMode(), "Reverse: 127.0.0.1:22");
    EXPECT_FALSE(ui.editWindow.visible);
}

TEST_F(Editing, EditTakesOneEntryWholeAndSocksWins) {
    add("900", "a:1");
    openEdit(0);
    ui.eServerPort.value = "900, 901";
    ui.eforwardInfo.value = "a:1,a:2";
    ui.eisSocks.stateValue = 1;
    ui.eReverseButton.stateValue = 1;
    c.editList(nullptr);
    ASSERT_EQ(list().size(), 1u);
    EXPECT_EQ(list()[0].listenPort, "900, 901");
    EXPECT_EQ(list()[0].tunnelDescription, "SOCKS");

    openEdit(0);
    ui.eisSocks.stateValue = 0;
    ui.eReverseButton.stateValue = 0;
    ui.eforwardInfo.value = "b:2";
    ui.eServerAddress.value = "";
    c.editList(nullptr);
    EXPECT_EQ(ui.editWindow.alertTexts(), std::vector<std::string>{kFillAll});
    EXPECT_TRUE(ui.editWindow.visible);
    EXPECT_EQ(list()[0].tunnelDescription, "SOCKS");
}

TEST_F(Editing, EditingARunningServiceKeepsItsStatusAndChild) {
    add("900", "a:1");
    ui.serviceList.selected = 0;
    c.startTunnel(nullptr);
    auto tunnel = list()[0].service;
    ASSERT_EQ(f.launcher.children.size(), 1u);

    openEdit(0);
    ui.eUserName.value = "carol";
    ui.eServerPort.value = "901";
    c.editList(nullptr);
    const ServiceEntry& e = list()[0];
    EXPECT_EQ(e.status, "Starting...");
    EXPECT_EQ(e.service, tunnel);
    EXPECT_EQ(e.user, "carol");
    EXPECT_TRUE(tunnel->isRunning());
    EXPECT_EQ(tunnel->userName(), "carol");
    EXPECT_EQ(tunnel->listenPort(), "901");
    EXPECT_EQ(f.launcher.children.size(), 1u);
    EXPECT_TRUE(f.launcher.children[0]->signals.empty());

    f.runLoop.advance(3.0); // the edited entry still hears its tunnel
    EXPECT_EQ(list()[0].status, "Running...");
}

TEST_F(Editing, EditWithoutSelectionOrWhileLocked) {
    add("900", "a:1");
    c.currentRow = 0;
    ui.eokButton.stateValue = 0;
    openEdit(-1);
    EXPECT_EQ(c.currentRow, -1);
    EXPECT_FALSE(ui.editWindow.visible);
    EXPECT_EQ(ui.eokButton.stateValue, 1);
    EXPECT_EQ(ui.ecanButton.stateValue, 1);

    ui.lockButtons.imageName = image::LockLocked;
    openEdit(0);
    EXPECT_EQ(ui.mainWindow.alertTexts(), std::vector<std::string>{QuillboreDel::kLockedMessage});
    EXPECT_FALSE(ui.editWindow.visible);
    EXPECT_EQ(c.currentRow, -1);
}

TEST_F(Editing, OkForARowThatIsGoneChangesNothing) {
    add("900", "a:1");
    for (std::int64_t row : {std::int64_t{-1}, std::int64_t{1}, std::int64_t{7}}) {
        ui.editWindow.visible = true;
        c.currentRow = row;
        ui.eServerAddress.value = "other";
        ui.eUserName.value = "u";
        ui.eServerPort.value = "1";
        c.editList(nullptr);
        EXPECT_FALSE(ui.editWindow.visible);
        ASSERT_EQ(list().size(), 1u);
        EXPECT_EQ(list()[0].server, "localhost");
    }
    EXPECT_TRUE(ui.editWindow.alerts.empty());
}

// The edit window stays open while the list changes under it: its OK goes to the service it
// was opened for, wherever that service now stands, and to no other.
TEST_F(Editing, OkAppliesToTheOpenedServiceAfterRowsMoved) {
    add("900,901,902", "a:0,a:1,a:2");
    const auto opened = list()[1].service;
    openEdit(1);
    ui.eServerPort.value = "1901";

    ui.serviceList.selected = 0;
    c.removeFromList(nullptr); // 901 moves up into row 0, 902 into row 1
    c.editList(nullptr);

    EXPECT_EQ(ports(), (std::vector<std::string>{"1901", "902"}));
    EXPECT_EQ(list()[0].service, opened);
    EXPECT_EQ(c.currentRow, 0);
    EXPECT_FALSE(ui.editWindow.visible);
}

TEST_F(Editing, OkForAServiceRemovedMeanwhileChangesNoOtherRow) {
    add("900,901", "a:0,a:1");
    openEdit(1);
    ui.eServerAddress.value = "changed";
    ui.serviceList.selected = 1;
    c.removeFromList(nullptr); // the opened service goes; row 1 no longer exists
    add("902", "a:2");         // a new service takes row 1
    ui.editWindow.visible = true;

    c.editList(nullptr);
    EXPECT_FALSE(ui.editWindow.visible);
    EXPECT_EQ(ports(), (std::vector<std::string>{"900", "902"}));
    EXPECT_EQ(list()[0].server, "localhost");
    EXPECT_EQ(list()[1].server, "localhost");
    EXPECT_TRUE(ui.editWindow.alerts.empty());

    openEdit(0);
    openEdit(-1); // Edit with no row selected: the open window edits no service any more
    ui.editWindow.visible = true;
    c.editList(nullptr);
    EXPECT_FALSE(ui.editWindow.visible);
    EXPECT_EQ(list()[0].server, "localhost");
}

// --- The SOCKS boxes ----------------------------------------------------------------------

TEST_F(Editing, SocksBoxCouplesReverseBoxAndForwardField) {
    add("900", "127.0.0.1:80");
    openEdit(0);
    ASSERT_FALSE(ui.eReverseButton.enabled);

    ui.eisSocks.stateValue = 1;
    c.handleCheckBox(&ui.eisSocks);
    EXPECT_FALSE(ui.eReverseButton.enabled);
    EXPECT_TRUE(ui.eforwardInfo.enabled); // checking SOCKS leaves the field as it is
    EXPECT_EQ(ui.eforwardInfo.value, "127.0.0.1:80");
    ui.eisSocks.stateValue = 0;
    c.handleCheckBox(&ui.eisSocks);
    EXPECT_TRUE(ui.eReverseButton.enabled);

    ui.eReverseButton.stateValue = 1;
    ui.eisSocks.stateValue = 1;
    c.handleCheckBox(&ui.eisSocks);
    EXPECT_EQ(ui.eReverseButton.stateValue, 0);

    // The add window's box works on the add window only.
    ui.reverseButton.stateValue = 1;
    ui.reverseButton.enabled = true;
    ui.isSocks.stateValue = 1;
    ui.eReverseButton.enabled = true;
    c.handleCheckBox(&ui.isSocks);
    EXPECT_EQ(ui.reverseButton.stateValue, 0);
    EXPECT_FALSE(ui.reverseButton.enabled);
    EXPECT_TRUE(ui.eReverseButton.enabled);
    ui.forwardInfo.enabled = false;
    ui.isSocks.stateValue = 0;
    c.handleCheckBox(&ui.isSocks);
    EXPECT_TRUE(ui.forwardInfo.enabled);
    EXPECT_TRUE(ui.reverseButton.enabled);
}

TEST_F(Editing, UncheckingSocksOnASocksEntryOpensTheForwardField) {
    add("1080", "", /*socks=*/true);
    openEdit(0);
    ASSERT_FALSE(ui.eforwardInfo.enabled);
    ui.eisSocks.stateValue = 0;
    c.handleCheckBox(&ui.eisSocks);
    EXPECT_TRUE(ui.eforwardInfo.enabled);
    EXPECT_TRUE(ui.eReverseButton.enabled);
}

// --- Removal ------------------------------------------------------------------------------

TEST_F(Editing, RemoveTakesTheSelectedRowWithoutAsking) {
    add("900,901,902", "a:0,a:1,a:2");
    ui.serviceList.selected = -1;
    c.removeFromList(nullptr);
    EXPECT_EQ(list().size(), 3u);

    ui.serviceList.selected = 1;
    c.removeFromList(nullptr);
    EXPECT_EQ(ports(), (std::vector<std::string>{"900", "902"}));
    EXPECT_TRUE(ui.mainWindow.alerts.empty());

    ui.lockButtons.imageName = image::LockLocked;
    ui.serviceList.selected = 0;
    c.removeFromList(nullptr);
    EXPECT_EQ(list().size(), 2u);
    EXPECT_EQ(ui.mainWindow.alertTexts(), std::vector<std::string>{QuillboreDel::kLockedMessage});
}

TEST_F(Editing, RemovingARunningServiceLeavesItsChildAndDropsTheCount) {
    add("900,901", "a:0,a:1");
    c.updateStatus();
    c.startTunnel(nullptr);
    ASSERT_EQ(ui.statusText.value, "2 Tunneling services are running...");
    auto tunnel = list()[0].service;

    ui.serviceList.selected = 0;
    c.removeFromList(nullptr);
    EXPECT_EQ(ui.statusText.value, "1 Tunneling services are running...");
    EXPECT_TRUE(tunnel->isRunning());
    EXPECT_TRUE(f.launcher.children[0]->alive);
    EXPECT_TRUE(f.launcher.children[0]->signals.empty());
}

TEST_F(Editing, EmptyingTheListIsRememberedUntilSomethingIsAdded) {
    add("900", "a:1");
    EXPECT_FALSE(c.listEmptiedByUser);
    add("901", "a:2");
    ui.serviceList.selected = 0;
    c.removeFromList(nullptr);
    EXPECT_FALSE(c.listEmptiedByUser);
    ui.serviceList.selected = 0;
    c.removeFromList(nullptr);
    EXPECT_TRUE(c.listEmptiedByUser);
    add("902", "a:3");
    EXPECT_FALSE(c.listEmptiedByUser);
}

TEST_F(Editing, RemovingTheLastServiceDoesNotBringItBackAtTheNextStart) {
    add("900", "a:1");
    ASSERT_NE(ControllerFixture::readHomeFile(".QuillboreSSH.lst"), "");
    ui.serviceList.selected = 0;
    c.removeFromList(nullptr);
    ASSERT_TRUE(list().empty());

    ControllerFixture next;
    next.controller.theServiceList.emplace();
    next.controller.loadUserData();
    EXPECT_TRUE(next.controller.theServiceList->empty());
    EXPECT_EQ(next.ui.mainWindow.alertTexts(),
              std::vector<std::string>{
                  "Thank you for installing my app! If you are not using the auto fill method of "
                  "ssh-askpass then do not type your actual password as you will be prompted to "
                  "input your password at the time of connection. To learn about the ssh-askpass "
                  "options please see our website."});
}

} // namespace
