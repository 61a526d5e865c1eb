// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerFixture.h"
#include "store/Cipher.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kNowLocked =
    "This application is now locked, you can safely walk away knowing your settings and data "
    "is secure. However if you had key files loaded they are currently unloaded, so if you have "
    "set in preferences to reconnect on failure it will loop in failures. Check keep keys to "
    "change this.";

using Outcome = Authorizer::Outcome;

struct LockTest : ::testing::Test {
    ControllerFixture f;
    QuillboreDel& c = f.controller;
    MemoryLayout& ui = f.ui;

    LockTest() { ControllerFixture::removeHomeFile(".QuillboreSSH"); }

    void pressLock() { c.toggleLock(&ui.lockButtons); }
    bool locked() const { return ui.lockButtons.image() == image::LockLocked; }

    int agentUnloads() const {
        int n = 0;
        for (const auto& child : f.launcher.launchedWith("/usr/bin/ssh-add"))
            if (child->arguments == std::vector<std::string>{"-D"}) ++n;
        return n;
    }
    std::vector<std::vector<std::string>> keyFileLoads() const {
        std::vector<std::vector<std::string>> loads;
        for (const auto& child : f.launcher.launchedWith("/usr/bin/ssh-add"))
            if (child->arguments != std::vector<std::string>{"-D"})
                loads.push_back(child->arguments);
        return loads;
    }
    void lockKeepingKeys() {
        ui.keepKeys.stateValue = 1;
        pressLock();
        ASSERT_TRUE(locked());
    }
};

// --- The lock button, locking --------------------------------------------------------------

TEST_F(LockTest, LockingWithoutKeepKeysUnloadsTheKeysAndSaysSo) {
    c.authRef = true;
    f.authorizer.held = true;

    pressLock();

    EXPECT_TRUE(locked());
    EXPECT_EQ(agentUnloads(), 1);
    ASSERT_EQ(ui.mainWindow.alerts.size(), 1u);
    EXPECT_EQ(ui.mainWindow.alerts[0].informativeText, kNowLocked);
    EXPECT_EQ(ui.mainWindow.alerts[0].messageText, "Hey , " + c.getLoginName());
    EXPECT_FALSE(ui.keepKeys.enabled);
    EXPECT_EQ(ui.keepKeys.stateValue, 0);
    EXPECT_FALSE(c.authRef);
    EXPECT_FALSE(f.authorizer.held);
}

TEST_F(LockTest, LockingWithKeepKeysKeepsThemWithoutAWord) {
    ui.keepKeys.stateValue = 1;

    pressLock();

    EXPECT_TRUE(locked());
    EXPECT_EQ(agentUnloads(), 0);
    EXPECT_TRUE(ui.mainWindow.alerts.empty());
    EXPECT_FALSE(ui.keepKeys.enabled);
    EXPECT_EQ(ui.keepKeys.stateValue, 1);
    EXPECT_GE(f.authorizer.releases, 1);
}

// --- The lock button, unlocking ------------------------------------------------------------

TEST_F(LockTest, GrantedUnlockOpensThePadlockAndAppliesThePreferencesAgain) {
    ControllerFixture::writeHomeFile(
        ".QuillboreSSH",
        cipher::encryptString("1\r\n0\r\n0\r\n0\r\n\r\n\r\n1\r\n/k/one\r\n/k/two:pw\r\n", "529"));
    lockKeepingKeys();
    ASSERT_FALSE(c.recon);
    f.authorizer.outcome = Outcome::Granted;

    pressLock();

    EXPECT_FALSE(locked());
    EXPECT_EQ(ui.lockButtons.image(), image::LockUnlocked);
    EXPECT_TRUE(ui.keepKeys.enabled);
    EXPECT_TRUE(c.authRef);
    EXPECT_EQ(f.authorizer.requests,
              std::vector<std::string>{"Use App Again for " + c.getLoginName()});
    // Applied after the padlock opened: a reload while locked would change nothing.
    EXPECT_TRUE(c.recon);
    EXPECT_EQ(keyFileLoads(), (std::vector<std::vector<std::string>>{{"/k/one"}, {"/k/two"}}));
    EXPECT_TRUE(ui.mainWindow.alerts.empty());
}

TEST_F(LockTest, RefusedOrCancelledUnlockLeavesEverythingLockedAndSilent) {
    for (Outcome outcome : {Outcome::Refused, Outcome::Cancelled}) {
        ControllerFixture g;
        g.ui.keepKeys.stateValue = 1;
        g.controller.toggleLock(&g.ui.lockButtons);
        ControllerFixture::writeHomeFile(
            ".QuillboreSSH",
            cipher::encryptString("1\r\n0\r\n0\r\n0\r\n\r\n\r\n1\r\n/k\r\n", "529"));
        g.authorizer.outcome = outcome;

        g.controller.toggleLock(&g.ui.lockButtons);

        EXPECT_EQ(g.ui.lockButtons.image(), image::LockLocked);
        EXPECT_FALSE(g.ui.keepKeys.enabled);
        EXPECT_FALSE(g.controller.authRef);
        EXPECT_FALSE(g.controller.recon);
        EXPECT_TRUE(g.ui.mainWindow.alerts.empty());
        EXPECT_TRUE(g.launcher.children.empty());
        ControllerFixture::removeHomeFile(".QuillboreSSH");
    }
}

// The conversation reaches the user through the layout's password prompt.
class PromptingAuthorizer : public Authorizer {
public:
    Outcome authorize(const std::string& rightName, const std::string&,
                      const PasswordPrompt& prompt) override {
        auto answer = prompt(rightName, "Password: ");
        if (!answer) return Outcome::Cancelled;
        held = *answer == "right";
        return held ? Outcome::Granted : Outcome::Refused;
    }
    void release() override { held = false; }
    bool holdsGrant() const override { return held; }
    bool held = false;
};

TEST(LockPrompt, AsksThroughThePasswordPromptAndTreatsNoPromptAsCancel) {
    ManualRunLoop runLoop;
    FakeLauncher launcher;
    CapturingLog log;
    PromptingAuthorizer authorizer;
    MemoryLayout ui;
    QuillboreDel c{runLoop, launcher, log, authorizer};
    ui.wire(c);

    ui.passwordPrompt.answer = "wrong";
    EXPECT_FALSE(c.doAuth());
    ui.passwordPrompt.answer = "right";
    EXPECT_TRUE(c.doAuth());
    EXPECT_TRUE(c.authRef);
    EXPECT_EQ(ui.passwordPrompt.titles,
              (std::vector<std::string>{"Use App Again", "Use App Again"}));
    EXPECT_EQ(ui.passwordPrompt.prompts.back(), "Password: ");

    c.authRef = false;
    c.passwordPrompt = nullptr;
    EXPECT_FALSE(c.doAuth());
    EXPECT_FALSE(c.authRef);
}

// --- The idle lock -------------------------------------------------------------------------

TEST_F(LockTest, BackAfter59SecondsDoesNotLockAndLeavingAgainCountsAfresh) {
    c.windowDidResignMain();
    f.runLoop.advance(59);
    c.windowDidBecomeMain();
    EXPECT_FALSE(locked());

    c.windowDidResignMain();
    f.runLoop.advance(59);
    EXPECT_FALSE(locked());
    f.runLoop.advance(1);
    EXPECT_TRUE(locked());
}

TEST_F(LockTest, SixtySecondsAwayLocksQuietlyAndOnlyOnce) {
    c.authRef = true;
    c.windowDidResignMain();
    f.runLoop.advance(60);

    EXPECT_TRUE(locked());
    EXPECT_TRUE(ui.mainWindow.alerts.empty());
    EXPECT_EQ(agentUnloads(), 1);
    EXPECT_FALSE(ui.keepKeys.enabled);
    EXPECT_FALSE(c.authRef);

    f.runLoop.advance(600);
    EXPECT_EQ(agentUnloads(), 1);
}

TEST_F(LockTest, IdleLockWithKeepKeysLeavesTheAgentAlone) {
    ui.keepKeys.stateValue = 1;
    c.windowDidResignMain();
    f.runLoop.advance(60);
    EXPECT_TRUE(locked());
    EXPECT_EQ(agentUnloads(), 0);
    EXPECT_EQ(ui.keepKeys.stateValue, 1);
}

TEST_F(LockTest, LeavingTwiceKeepsTheFirstCount) {
    c.windowDidResignMain();
    f.runLoop.advance(30);
    c.windowDidResignMain();
    EXPECT_EQ(f.runLoop.pendingTimers(), 1u);
    f.runLoop.advance(30);
    EXPECT_TRUE(locked());
}

TEST_F(LockTest, NoNewIdleCountUntilTheMainWindowHasBeenMainAgain) {
    c.windowDidResignMain();
    f.runLoop.advance(60);
    ASSERT_TRUE(locked());
    pressLock(); // unlock, granted
    ASSERT_FALSE(locked());

    c.windowDidResignMain();
    f.runLoop.advance(120);
    EXPECT_FALSE(locked());

    c.windowDidBecomeMain();
    c.windowDidResignMain();
    f.runLoop.advance(60);
    EXPECT_TRUE(locked());
}

TEST_F(LockTest, BecomingMainWithoutACountIsHarmless) {
    c.windowDidBecomeMain();
    c.windowDidBecomeMain();
    EXPECT_EQ(f.runLoop.pendingTimers(), 0u);
    EXPECT_FALSE(locked());
}

// --- While locked --------------------------------------------------------------------------

TEST_F(LockTest, EveryGuardedActionRefusesWhileLocked) {
    lockKeepingKeys();
    ui.serviceList.clickRow(-1);

    c.startTunnel(&ui.startButton);
    c.stopTunnel(&ui.stopButton);
    c.addService(&ui.addButton);
    c.editService(&ui.editButton);
    c.removeFromList(&ui.removeButton);
    c.gotsADoubleClick();
    c.openPreferences(nullptr);

    EXPECT_EQ(ui.mainWindow.alertTexts(),
              std::vector<std::string>(7, QuillboreDel::kLockedMessage));
    EXPECT_FALSE(ui.addWindow.visible);
    EXPECT_FALSE(ui.editWindow.visible);
    EXPECT_FALSE(ui.aboutWindow.visible);
    EXPECT_TRUE(f.launcher.children.empty());
}

TEST_F(LockTest, ARunningServiceKeepsRunningAndReportingWhileLocked) {
    auto tunnel = std::make_shared<SSHTunnel>(f.runLoop, f.launcher, f.log);
    tunnel->setUser("u", "p", "example.invalid", "1080", "SOCKS");
    tunnel->setDelegate(&c);
    c.theServiceList = std::vector<ServiceEntry>{
        ServiceEntry{"example.invalid", "1080", "Idle...", "u", "p", "SOCKS", tunnel}};
    ui.serviceList.reloadData();
    ui.serviceList.clickRow(0);
    c.startTunnel(&ui.startButton);
    ASSERT_TRUE(tunnel->isRunning());

    lockKeepingKeys();
    f.runLoop.advance(5);

    EXPECT_TRUE(tunnel->isRunning());
    EXPECT_EQ((*c.theServiceList)[0].status, "Running...");
    EXPECT_TRUE(f.launcher.launchedWith("/usr/bin/ssh").at(0)->signals.empty());
}

} // namespace
