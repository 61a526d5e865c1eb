// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerFixture.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

TEST(ControllerCore, AccountLookupsComeFromTheRecordNotTheEnvironment) {
    ControllerFixture f;
    ASSERT_FALSE(env("QB_TEST_HOME").empty()) << "run under with-test-home";
    EXPECT_EQ(f.controller.getUserDir(), env("QB_TEST_HOME"));
    EXPECT_EQ(f.controller.getLoginName(), env("QB_TEST_LOGIN_NAME"));
    EXPECT_NE(f.controller.getUserDir(), env("HOME"));

    ::setenv("HOME", "/elsewhere", 1);
    ::setenv("USER", "someone-else", 1);
    ::setenv("LOGNAME", "someone-else", 1);
    EXPECT_EQ(f.controller.getUserDir(), env("QB_TEST_HOME"));
    EXPECT_EQ(f.controller.getLoginName(), env("QB_TEST_LOGIN_NAME"));
}

TEST(ControllerCore, FilesLiveInTheRecordsHome) {
    ControllerFixture f;
    const std::string home = env("QB_TEST_HOME");
    EXPECT_EQ(f.controller.serviceListPath(), home + "/.QuillboreSSH.lst");
    EXPECT_EQ(f.controller.preferencesPath(), home + "/.QuillboreSSH");
    EXPECT_EQ(f.controller.askpassPath(), home + "/.ssh-askpass");
}

TEST(ControllerCore, AlertsGreetTheUserAndDoNotWait) {
    ControllerFixture f;
    f.controller.doAlertWindow("first", &f.ui.addWindow);
    f.controller.doAlertWindow("second", &f.ui.addWindow); // the caller goes on at once
    ASSERT_EQ(f.ui.addWindow.alerts.size(), 2u);
    const Alert& a = f.ui.addWindow.alerts[0];
    EXPECT_EQ(a.messageText, "Hey , " + env("QB_TEST_LOGIN_NAME"));
    EXPECT_EQ(a.informativeText, "first");
    EXPECT_EQ(a.buttonTitle, "OK");
    EXPECT_EQ(a.style, Alert::Style::Warning);
    EXPECT_TRUE(f.ui.mainWindow.alerts.empty());

    // The toolkit queues the second sheet behind the first.
    EXPECT_EQ(f.ui.addWindow.shownAlert()->informativeText, "first");
    f.ui.addWindow.pressOK();
    EXPECT_EQ(f.ui.addWindow.shownAlert()->informativeText, "second");
    f.ui.addWindow.pressOK();
    EXPECT_EQ(f.ui.addWindow.shownAlert(), nullptr);

    f.controller.doAlertWindow("nowhere", nullptr); // no window: nothing to show on
}

TEST(ControllerCore, OnlyTheClosedPadlockIsLocked) {
    ControllerFixture f;
    for (const std::string& other :
         {std::string(image::LockUnlocked), std::string(""), std::string(image::StatusNone),
          std::string("NSLockLockedTemplate ")}) {
        f.ui.lockButtons.setImage(other);
        EXPECT_FALSE(f.controller.isLocked()) << other;
        EXPECT_FALSE(f.controller.refuseWhenLocked());
    }
    EXPECT_TRUE(f.ui.mainWindow.alerts.empty());

    f.ui.lockButtons.setImage(image::LockLocked);
    EXPECT_TRUE(f.controller.isLocked());
    EXPECT_TRUE(f.controller.refuseWhenLocked());
    EXPECT_EQ(f.ui.mainWindow.alertTexts(),
              std::vector<std::string>{
                  "This application is locked. You must authenticate before using this feature."});

    f.controller.lockButtons = nullptr; // no lock button: nothing is locked
    EXPECT_FALSE(f.controller.isLocked());
}

TEST(ControllerCore, UnloadingKeysStartsSshAddDashD) {
    ControllerFixture f;
    f.controller.unloadAgentKeys();
    auto children = f.launcher.launchedWith("/usr/bin/ssh-add");
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(children[0]->arguments, std::vector<std::string>{"-D"});
    EXPECT_EQ(children[0]->stdinText, "");
}

TEST(ControllerCore, CipherWrappersUseOnlyTheKeyLength) {
    ControllerFixture f;
    EXPECT_EQ(f.controller.encryptString("abc", ""), "pon");
    EXPECT_EQ(f.controller.encryptString("abc", "xy"), "rpn");
    EXPECT_EQ(f.controller.encryptString("abc", "529"), f.controller.encryptString("abc", "zzz"));
    EXPECT_EQ(f.controller.decryptString("rpn", "qq"), "abc");
    EXPECT_EQ(f.controller.mixString("a\r\nb"), "b\n\ra");
}
