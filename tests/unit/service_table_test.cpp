// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerFixture.h"
#include "controller/EditWindowFill.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

namespace {

const char* const kListFile = ".QuillboreSSH.lst";

class ServiceTable : public ::testing::Test {
protected:
    void SetUp() override {
        ControllerFixture::removeHomeFile(kListFile);
        f.controller.theServiceList.emplace();
    }
    void TearDown() override { ControllerFixture::removeHomeFile(kListFile); }

    void add(const std::string& server, const std::string& description,
             const std::string& status = "Idle...", const std::string& port = "8080") {
        auto tunnel = std::make_shared<SSHTunnel>(f.runLoop, f.launcher, f.log);
        f.controller.theServiceList->push_back(
            ServiceEntry{server, port, status, "user", "pass word", description, tunnel});
        f.controller.markListChanged();
    }
    void click(long row) {
        f.ui.serviceList.clickRow(row);
        f.controller.gotsAClick(&f.ui.serviceList);
    }
    bool listFileExists() const {
        return files::readWhole(ControllerFixture::home() + "/" + kListFile).has_value();
    }
    void expectButtons(bool editRemove, const std::string& start, const std::string& stop) {
        EXPECT_EQ(f.ui.editButton.enabled, editRemove);
        EXPECT_EQ(f.ui.removeButton.enabled, editRemove);
        EXPECT_EQ(f.ui.startButton.titleText, start);
        EXPECT_EQ(f.ui.stopButton.titleText, stop);
    }

    ControllerFixture f;
};

} // namespace

// --- Row count and buttons -------------------------------------------------------------------

TEST_F(ServiceTable, AnEmptyListDisablesEverythingAndWritesNothing) {
    f.ui.startButton.titleText = f.ui.stopButton.titleText = "stale";
    f.ui.serviceList.reloadData();
    EXPECT_EQ(f.ui.serviceList.rowCount, 0);
    EXPECT_FALSE(f.ui.startButton.enabled);
    EXPECT_FALSE(f.ui.stopButton.enabled);
    expectButtons(false, "Start Service", "Stop Service");
    EXPECT_FALSE(listFileExists());
}

TEST_F(ServiceTable, AskingBeforeTheStartSequenceCreatesTheList) {
    f.controller.theServiceList.reset();
    EXPECT_EQ(f.controller.numberOfRowsInTableView(&f.ui.serviceList), 0);
    EXPECT_TRUE(f.controller.theServiceList.has_value());
    EXPECT_FALSE(listFileExists());
}

TEST_F(ServiceTable, OneEntryNothingSelected) {
    add("a", "SOCKS");
    f.ui.serviceList.reloadData();
    EXPECT_EQ(f.ui.serviceList.rowCount, 1);
    EXPECT_TRUE(f.ui.startButton.enabled);
    EXPECT_TRUE(f.ui.stopButton.enabled);
    expectButtons(false, "Start Service", "Stop Service");
}

TEST_F(ServiceTable, TitlesFollowTheSelectionAndTheCount) {
    add("a", "SOCKS");
    add("b", "SOCKS");
    add("c", "SOCKS");
    f.ui.serviceList.reloadData();
    expectButtons(false, "Start Services", "Stop Services");

    f.ui.startButton.enabled = false; // a click leaves start and stop enabling alone
    click(1);
    EXPECT_EQ(f.controller.selectedRow, 1);
    expectButtons(true, "Start Service", "Stop Service");
    EXPECT_FALSE(f.ui.startButton.enabled);

    click(-1);
    EXPECT_EQ(f.controller.selectedRow, -1);
    expectButtons(false, "Start Services", "Stop Services");

    f.ui.serviceList.selectRow(2); // a reload applies the rule to the table's selection
    f.ui.serviceList.reloadData();
    expectButtons(true, "Start Service", "Stop Service");
}

// Removing the selected last row, or the only row, leaves the table with no selection: the
// buttons must say so, since Start and Stop now act on every service.
TEST_F(ServiceTable, AReloadThatDropsTheSelectionAppliesTheRuleToNoSelection) {
    add("a", "SOCKS");
    add("b", "SOCKS");
    add("c", "SOCKS");
    f.ui.serviceList.reloadData();
    click(2);
    f.controller.removeFromList(&f.ui.removeButton);
    EXPECT_EQ(f.ui.serviceList.selectedRow(), -1);
    expectButtons(false, "Start Services", "Stop Services");
    EXPECT_EQ(f.controller.selectedRow, 2); // the remembered row is not adjusted

    click(0);
    f.controller.removeFromList(&f.ui.removeButton); // a row that stays in range keeps it
    EXPECT_EQ(f.ui.serviceList.selectedRow(), 0);
    expectButtons(true, "Start Service", "Stop Service");

    f.controller.removeFromList(&f.ui.removeButton); // the only row
    EXPECT_EQ(f.ui.serviceList.selectedRow(), -1);
    expectButtons(false, "Start Service", "Stop Service");
    EXPECT_FALSE(f.ui.startButton.enabled);
}

TEST_F(ServiceTable, TheRefreshSelectingTheRememberedRowAppliesTheRule) {
    add("a", "SOCKS");
    add("b", "SOCKS");
    f.ui.serviceList.reloadData();
    click(1);
    f.controller.removeFromList(&f.ui.removeButton);
    add("c", "SOCKS");
    f.ui.serviceList.reloadData();
    expectButtons(false, "Start Services", "Stop Services");

    f.controller.updateStatus(); // selects the remembered row 1, now "c"
    EXPECT_EQ(f.ui.serviceList.selectedRow(), 1);
    expectButtons(true, "Start Service", "Stop Service");
}

// Only a change of the list's fields can change the file's bytes: a reload after a status
// change writes nothing (a file removed meanwhile stays away until the list changes).
TEST_F(ServiceTable, OnlyAReloadAfterAChangeOfTheListWritesTheFile) {
    add("a", "SOCKS");
    f.ui.serviceList.reloadData();
    ASSERT_TRUE(listFileExists());
    ControllerFixture::removeHomeFile(kListFile);
    (*f.controller.theServiceList)[0] = (*f.controller.theServiceList)[0].withStatus("Running...");
    f.ui.serviceList.reloadData();
    EXPECT_FALSE(listFileExists());
    add("b", "SOCKS");
    f.ui.serviceList.reloadData();
    EXPECT_TRUE(listFileExists());
}

// --- Cells -----------------------------------------------------------------------------------

TEST_F(ServiceTable, TheServerCellShowsTheStatusLight) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"Idle...", image::StatusNone},
        {"Starting...", image::StatusPartiallyAvailable},
        {"Running...", image::StatusAvailable},
        {"Failed...", image::StatusUnavailable},
        {"Retrying...", image::StatusUnavailable},
        {"Retring...", image::StatusUnavailable},
        {"Connection Closed...", image::StatusUnavailable},
        {"idle...", image::StatusUnavailable}};
    for (const auto& [status, light] : cases)
        add("host-" + status, "SOCKS", status);
    f.ui.serviceList.reloadData();
    ASSERT_EQ(f.ui.serviceList.rows.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const MemoryRow& row = f.ui.serviceList.rows[i];
        EXPECT_EQ(row.server.text(), "host-" + cases[i].first);
        EXPECT_EQ(row.server.image(), cases[i].second) << cases[i].first;
        EXPECT_EQ(row.status.text(), cases[i].first);
        EXPECT_EQ(row.status.image(), "");
    }
}

TEST_F(ServiceTable, TheTunnelCellShowsTheKind) {
    add("a", "SOCKS");
    add("b", "127.0.0.1:80");
    add("c", "Reverse Tunnel: 127.0.0.1:22");
    add("d", "Reverse: 10.0.0.1:22: trailing");
    add("e", "socks");
    add("f", "");
    f.ui.serviceList.reloadData();
    const auto& rows = f.ui.serviceList.rows;
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].tunnel.text(), "SOCKS");
    EXPECT_EQ(rows[0].tunnel.image(), image::FollowLink);
    EXPECT_EQ(rows[1].tunnel.text(), "127.0.0.1:80");
    EXPECT_EQ(rows[1].tunnel.image(), image::RightTriangle);
    EXPECT_EQ(rows[2].tunnel.text(), "127.0.0.1:22");
    EXPECT_EQ(rows[2].tunnel.image(), image::LeftTriangle);
    EXPECT_EQ(rows[3].tunnel.text(), "10.0.0.1:22");
    EXPECT_EQ(rows[3].tunnel.image(), image::LeftTriangle);
    EXPECT_EQ(rows[4].tunnel.text(), "socks");
    EXPECT_EQ(rows[4].tunnel.image(), image::RightTriangle);
    EXPECT_EQ(rows[5].tunnel.text(), "");
    EXPECT_EQ(rows[5].tunnel.image(), image::RightTriangle);
}

TEST_F(ServiceTable, TheListenPortCellShowsTheTextUnchanged) {
    add("a", "h:1", "Idle...", "8080, 8081,8082");
    f.ui.serviceList.reloadData();
    EXPECT_EQ(f.ui.serviceList.rows[0].listenPort.text(), "8080, 8081,8082");
    EXPECT_EQ(f.ui.serviceList.rows[0].listenPort.image(), "");
    EXPECT_EQ(f.ui.serviceList.rows[0].listenPort.identifier(), "ListenPort");
}

TEST_F(ServiceTable, AnUnknownColumnIsAnAssertionFailure) {
    add("a", "SOCKS");
    TableColumn column("Password");
    EXPECT_EQ(f.controller.viewForTableColumn(&f.ui.serviceList, &column, 0), nullptr);
    EXPECT_EQ(f.ui.assertionHandler.failures,
              std::vector<std::string>{"Unhandled table column identifier Password"});
    TableColumn lower("server"); // identifiers are compared exactly
    EXPECT_EQ(f.controller.viewForTableColumn(&f.ui.serviceList, &lower, 0), nullptr);
    EXPECT_EQ(f.ui.assertionHandler.failures.size(), 2u);
}

TEST_F(ServiceTable, WithoutAnAssertionHandlerAnUnknownColumnStops) {
    add("a", "SOCKS");
    f.controller.assertionHandler = nullptr;
    TableColumn column("Bogus");
    EXPECT_DEATH(f.controller.viewForTableColumn(&f.ui.serviceList, &column, 0),
                 "Unhandled table column identifier Bogus");
}

TEST_F(ServiceTable, RowsOutsideTheListGiveNoCell) {
    add("a", "SOCKS");
    TableColumn column("Server");
    EXPECT_EQ(f.controller.viewForTableColumn(&f.ui.serviceList, &column, 1), nullptr);
    EXPECT_EQ(f.controller.viewForTableColumn(&f.ui.serviceList, &column, -1), nullptr);
    EXPECT_TRUE(f.ui.assertionHandler.failures.empty());
}

// --- Double click ----------------------------------------------------------------------------

TEST_F(ServiceTable, ADoubleClickWhileLockedOpensNothing) {
    add("a", "SOCKS");
    f.ui.serviceList.reloadData();
    f.ui.serviceList.selectRow(0);
    f.ui.lockButtons.setImage(image::LockLocked);
    f.ui.serviceList.setDoubleAction([&] { f.controller.gotsADoubleClick(); });
    f.ui.serviceList.doubleClick();
    EXPECT_EQ(f.ui.mainWindow.alertTexts(), std::vector<std::string>{QuillboreDel::kLockedMessage});
    EXPECT_FALSE(f.ui.editWindow.visible);
    EXPECT_EQ(f.ui.eokButton.stateValue, 0);
    EXPECT_EQ(f.ui.eServerAddress.value, "");
}

TEST_F(ServiceTable, ADoubleClickWithoutSelectionOnlySetsTheEditButtons) {
    add("a", "SOCKS");
    f.ui.serviceList.reloadData();
    f.controller.currentRow = 7;
    f.controller.gotsADoubleClick();
    EXPECT_EQ(f.ui.eokButton.stateValue, 1);
    EXPECT_EQ(f.ui.ecanButton.stateValue, 1);
    EXPECT_EQ(f.controller.currentRow, 7);
    EXPECT_FALSE(f.ui.editWindow.visible);
    EXPECT_EQ(f.ui.eServerAddress.value, "");
    EXPECT_TRUE(f.ui.mainWindow.alerts.empty());
}

TEST_F(ServiceTable, ADoubleClickOpensTheEditWindowFilled) {
    add("a", "SOCKS");
    add("b.example", "Reverse Tunnel: 127.0.0.1:22", "Running...", "2222");
    f.ui.serviceList.reloadData();
    f.ui.serviceList.selectRow(1);
    f.controller.gotsADoubleClick();
    EXPECT_EQ(f.controller.currentRow, 1);
    EXPECT_TRUE(f.ui.editWindow.visible);
    EXPECT_EQ(f.ui.eServerAddress.value, "b.example");
    EXPECT_EQ(f.ui.eServerPort.value, "2222");
    EXPECT_EQ(f.ui.eUserName.value, "user");
    EXPECT_EQ(f.ui.eUserPassword.value, "pass word");
    EXPECT_EQ(f.ui.eforwardInfo.value, "127.0.0.1:22");
    EXPECT_TRUE(f.ui.eforwardInfo.enabled);
    EXPECT_EQ(f.ui.eisSocks.stateValue, 0);
    EXPECT_TRUE(f.ui.eReverseButton.enabled);
    EXPECT_EQ(f.ui.eReverseButton.stateValue, 1);
}

TEST_F(ServiceTable, TheFillSetsTheBoxesByKind) {
    auto entry = [&](const std::string& description) {
        return ServiceEntry{"s", "1", "Idle...", "u", "p", description, nullptr};
    };
    // Leave every control in the opposite state first, as an earlier fill might have.
    fillEditWindow(f.controller, entry("Reverse: x:1"));
    fillEditWindow(f.controller, entry("SOCKS"));
    EXPECT_EQ(f.ui.eforwardInfo.value, "");
    EXPECT_FALSE(f.ui.eforwardInfo.enabled);
    EXPECT_EQ(f.ui.eisSocks.stateValue, 1);
    EXPECT_FALSE(f.ui.eReverseButton.enabled);
    EXPECT_EQ(f.ui.eReverseButton.stateValue, 0);

    fillEditWindow(f.controller, entry("127.0.0.1:80"));
    EXPECT_EQ(f.ui.eforwardInfo.value, "127.0.0.1:80");
    EXPECT_TRUE(f.ui.eforwardInfo.enabled);
    EXPECT_EQ(f.ui.eisSocks.stateValue, 0);
    EXPECT_FALSE(f.ui.eReverseButton.enabled);
    EXPECT_EQ(f.ui.eReverseButton.stateValue, 0);
}
