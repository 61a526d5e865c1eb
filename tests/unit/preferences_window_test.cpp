// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerFixture.h"
#include "store/Cipher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct PrefsTest : ::testing::Test {
    ControllerFixture f;
    QuillboreDel& c = f.controller;
    MyPrefs& prefs = f.prefs;
    MemoryLayout& ui = f.ui;

    PrefsTest() { ControllerFixture::removeHomeFile(".QuillboreSSH"); }

    static void writeFile(const std::string& plain) {
        ControllerFixture::writeHomeFile(".QuillboreSSH", cipher::encryptString(plain, "529"));
    }
    static std::string readFile() {
        return cipher::decryptString(ControllerFixture::readHomeFile(".QuillboreSSH"), "529");
    }
    void click(MemoryButton& toggle, int newState) {
        toggle.stateValue = newState;
        prefs.clickedOption(&toggle);
    }
    std::vector<int> modeStates() const {
        return {ui.keyOption.stateValue, ui.comOption.stateValue, ui.askPass.stateValue};
    }
    void save() {
        ui.aboutWindow.makeKeyAndOrderFront();
        prefs.userSave(nullptr);
    }
};

// --- Mode rules when clicked ---------------------------------------------------------------

TEST_F(PrefsTest, OwnCommandTurnsTheOthersOffAndOpensTheCommandFields) {
    click(ui.askPass, 1);
    ui.usePrompt.stateValue = 1;

    click(ui.comOption, 1);

    EXPECT_EQ(modeStates(), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(ui.usePrompt.stateValue, 0);
    EXPECT_FALSE(ui.usePrompt.enabled);
    EXPECT_TRUE(ui.commandInfo.enabled);
    EXPECT_TRUE(ui.commandArgs.enabled);
}

TEST_F(PrefsTest, AskpassEnablesAnUncheckedPromptAndClosesTheCommandFields) {
    click(ui.comOption, 1);
    ui.usePrompt.stateValue = 1;

    click(ui.askPass, 1);

    EXPECT_EQ(modeStates(), (std::vector<int>{0, 0, 1}));
    EXPECT_TRUE(ui.usePrompt.enabled);
    EXPECT_EQ(ui.usePrompt.stateValue, 0);
    EXPECT_FALSE(ui.commandInfo.enabled);
    EXPECT_FALSE(ui.commandArgs.enabled);
}

TEST_F(PrefsTest, KeyFilesClosesPromptAndCommandFields) {
    click(ui.askPass, 1);
    ui.usePrompt.stateValue = 1;

    click(ui.keyOption, 1);

    EXPECT_EQ(modeStates(), (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(ui.usePrompt.stateValue, 0);
    EXPECT_FALSE(ui.usePrompt.enabled);
    EXPECT_FALSE(ui.commandInfo.enabled);
}

TEST_F(PrefsTest, ClickingTheOnlyModeOffSelectsKeyFiles) {
    for (MemoryButton* toggle : {&ui.keyOption, &ui.comOption, &ui.askPass}) {
        click(*toggle, 1);
        const bool promptEnabled = ui.usePrompt.enabled;
        click(*toggle, 0);
        EXPECT_EQ(modeStates(), (std::vector<int>{1, 0, 0})) << toggle->titleText;
        // Only the toggle changes; the dependent controls stay as they were.
        EXPECT_EQ(ui.usePrompt.enabled, promptEnabled) << toggle->titleText;
    }
}

// --- Filling the window from the file ------------------------------------------------------

TEST_F(PrefsTest, NoFileLeavesTheControlsAlone) {
    prefs.windowDidBecomeKey();
    EXPECT_EQ(modeStates(), (std::vector<int>{1, 0, 0}));
    EXPECT_FALSE(prefs.userKeys.has_value());
    EXPECT_TRUE(f.log.lines.empty());
}

TEST_F(PrefsTest, AskpassFileFillsEveryControlAndTheKeyEditor) {
    writeFile("0\r\n0\r\n1\r\n1\r\n/bin/cmd\r\n-h %h\r\n1\r\n/k/a\r\n/k/b:pw\r\n");

    prefs.windowDidBecomeKey();

    EXPECT_EQ(modeStates(), (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(ui.usePrompt.stateValue, 1); // kept as loaded
    EXPECT_TRUE(ui.usePrompt.enabled);
    EXPECT_EQ(ui.reconOption.stateValue, 1);
    EXPECT_EQ(ui.commandInfo.value, "/bin/cmd");
    EXPECT_EQ(ui.commandArgs.value, "-h %h");
    EXPECT_FALSE(ui.commandInfo.enabled);
    EXPECT_EQ(ui.keyFiles.value, "/k/a\n/k/b:pw");
    EXPECT_EQ(prefs.userKeys, "/k/a\r\n/k/b:pw");
    EXPECT_EQ(f.log.lines, std::vector<std::string>{"Count 10"});
}

TEST_F(PrefsTest, LoadedOwnCommandOpensTheCommandFields) {
    writeFile("0\r\n1\r\n0\r\n1\r\n/bin/cmd\r\n\r\n0\r\n\r\n");
    prefs.windowDidBecomeKey();
    EXPECT_EQ(modeStates(), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(ui.usePrompt.stateValue, 0);
    EXPECT_FALSE(ui.usePrompt.enabled);
    EXPECT_TRUE(ui.commandInfo.enabled);
    EXPECT_TRUE(ui.commandArgs.enabled);
}

TEST_F(PrefsTest, FlagLinesAreReadAsIntegers) {
    writeFile(" 1\r\n00\r\nyes\r\n-1\r\n\r\n\r\n02\r\n\r\n");
    prefs.windowDidBecomeKey();
    EXPECT_EQ(modeStates(), (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(ui.usePrompt.stateValue, 0); // the key-file rule turns the prompt off
    EXPECT_EQ(ui.reconOption.stateValue, 1);
}

TEST_F(PrefsTest, LeadingEmptyKeyLinesVanishOthersStay) {
    writeFile("1\r\n0\r\n0\r\n0\r\n\r\n\r\n0\r\n\r\n\r\n/k/a\r\n\r\n/k/b\r\n");
    prefs.windowDidBecomeKey();
    EXPECT_EQ(ui.keyFiles.value, "/k/a\n\n/k/b");
    EXPECT_EQ(prefs.userKeys, "/k/a\r\n\r\n/k/b");
}

TEST_F(PrefsTest, WithoutKeyLinesTheFileIsReadAgainNextTime) {
    writeFile("1\r\n0\r\n0\r\n0\r\n\r\n\r\n0\r\n"); // eight elements: no key-file list
    prefs.windowDidBecomeKey();
    EXPECT_FALSE(prefs.userKeys.has_value());

    writeFile("0\r\n1\r\n0\r\n0\r\n/bin/other\r\n\r\n0\r\n");
    prefs.windowDidBecomeKey();
    EXPECT_EQ(modeStates(), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(ui.commandInfo.value, "/bin/other");
}

TEST_F(PrefsTest, DamagedFilesLeaveTheControlsAsTheyAre) {
    const std::vector<std::string> lines{"0", "1", "0", "1", "/bin/cmd", "-x", "1"};
    for (std::size_t count = 2; count <= 6; ++count) {
        std::string plain = lines[0];
        for (std::size_t i = 1; i < count; ++i)
            plain += "\r\n" + lines[i];
        writeFile(plain);
        prefs.windowDidBecomeKey();
        EXPECT_EQ(modeStates(), (std::vector<int>{1, 0, 0})) << count << " elements";
        EXPECT_EQ(ui.commandInfo.value, "") << count << " elements";
        EXPECT_FALSE(prefs.userKeys.has_value());
    }
    // Seven elements hold every setting line: they are shown.
    writeFile("0\r\n1\r\n0\r\n0\r\n/bin/cmd\r\n-x\r\n1");
    prefs.windowDidBecomeKey();
    EXPECT_EQ(modeStates(), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(ui.reconOption.stateValue, 1);
}

// --- Saving --------------------------------------------------------------------------------

TEST_F(PrefsTest, FirstSaveWritesEightLinesPrivatelyAndClosesTheWindow) {
    save();

    EXPECT_EQ(readFile(), "1\r\n0\r\n0\r\n0\r\n\r\n\r\n0\r\n\r\n");
    struct stat st {};
    ASSERT_EQ(::stat((ControllerFixture::home() + "/.QuillboreSSH").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(ui.aboutWindow.visible);
    EXPECT_TRUE(ui.aboutWindow.alerts.empty());
}

TEST_F(PrefsTest, SavingAppliesThePreferencesAtOnce) {
    click(ui.comOption, 1);
    ui.commandInfo.value = "/usr/local/bin/tunnel";
    ui.commandArgs.value = "%u@%h -p %p";
    ui.reconOption.stateValue = 1;

    save();

    EXPECT_EQ(readFile(), "0\r\n1\r\n0\r\n0\r\n/usr/local/bin/tunnel\r\n%u@%h -p %p\r\n1\r\n\r\n");
    EXPECT_TRUE(c.use_my_command);
    EXPECT_EQ(c.heres_my_command, "/usr/local/bin/tunnel");
    EXPECT_EQ(c.heres_my_arguments, "%u@%h -p %p");
    EXPECT_TRUE(c.recon);
}

TEST_F(PrefsTest, KeyFilesRoundTripUntouched) {
    const std::string plain = "1\r\n0\r\n0\r\n0\r\n\r\n\r\n1\r\n/k/a\r\n/k/b:secret\r\n";
    writeFile(plain);
    prefs.windowDidBecomeKey();
    save();
    EXPECT_EQ(readFile(), plain);
}

TEST_F(PrefsTest, KeyEditorListIsStoredAtTheNextSaveAndLoadedIntoTheAgent) {
    ui.keyWindow.makeKeyAndOrderFront();
    ui.keyFiles.value = "/k/a\n/k/b with space:pw";
    prefs.setKeysFiles(nullptr);

    EXPECT_FALSE(ui.keyWindow.visible);
    EXPECT_EQ(prefs.userKeys, "/k/a\r\n/k/b with space:pw");
    EXPECT_EQ(ControllerFixture::readHomeFile(".QuillboreSSH"), ""); // not saved yet

    save();

    EXPECT_EQ(readFile(), "1\r\n0\r\n0\r\n0\r\n\r\n\r\n0\r\n/k/a\r\n/k/b with space:pw\r\n");
    auto loads = f.launcher.launchedWith("/usr/bin/ssh-add");
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[0]->arguments, std::vector<std::string>{"/k/a"});
    EXPECT_EQ(loads[1]->arguments, (std::vector<std::string>{"/k/b", "with", "space"}));
    EXPECT_EQ(loads[1]->stdinText, "pw\n");
}

TEST_F(PrefsTest, AfterTheEditorTheFileNoLongerOverwritesTheControls) {
    ui.keyFiles.value = "/k/a";
    prefs.setKeysFiles(nullptr);
    writeFile("0\r\n1\r\n0\r\n0\r\n/bin/cmd\r\n\r\n1\r\n/k/z\r\n");

    prefs.windowDidBecomeKey();

    EXPECT_EQ(modeStates(), (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(ui.commandInfo.value, "");
    EXPECT_EQ(prefs.userKeys, "/k/a");
}

// --- Cancel ---------------------------------------------------------------------------------

TEST_F(PrefsTest, CancelPutsBackTheFileAndALaterSaveWritesIt) {
    const std::string plain = "0\r\n0\r\n1\r\n1\r\n\r\n\r\n1\r\n/k/a:pw\r\n";
    writeFile(plain);
    ui.aboutWindow.makeKeyAndOrderFront();
    prefs.windowDidBecomeKey();
    click(ui.comOption, 1);
    ui.commandInfo.value = "/bin/abandoned";
    ui.reconOption.stateValue = 0;
    ui.keyFiles.value = "/k/abandoned";
    prefs.setKeysFiles(nullptr);

    prefs.userCancel(nullptr);

    EXPECT_FALSE(ui.aboutWindow.visible);
    EXPECT_EQ(modeStates(), (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(ui.usePrompt.stateValue, 1);
    EXPECT_TRUE(ui.usePrompt.enabled);
    EXPECT_FALSE(ui.commandInfo.enabled);
    EXPECT_EQ(ui.commandInfo.value, "");
    EXPECT_EQ(ui.reconOption.stateValue, 1);
    EXPECT_EQ(ui.keyFiles.value, "/k/a:pw");
    EXPECT_EQ(prefs.userKeys, "/k/a:pw");
    EXPECT_EQ(readFile(), plain);

    save();
    EXPECT_EQ(readFile(), plain);
}

TEST_F(PrefsTest, CancelWithoutAFileGoesBackToTheFirstControls) {
    prefs.windowDidBecomeKey(); // no file: the layout's controls
    click(ui.askPass, 1);
    ui.commandArgs.value = "-x";
    ui.keyFiles.value = "/k/abandoned";
    prefs.setKeysFiles(nullptr);

    prefs.userCancel(nullptr);

    EXPECT_EQ(modeStates(), (std::vector<int>{1, 0, 0}));
    EXPECT_FALSE(ui.usePrompt.enabled);
    EXPECT_FALSE(ui.commandArgs.enabled);
    EXPECT_EQ(ui.commandArgs.value, "");
    EXPECT_EQ(ui.keyFiles.value, "");
    EXPECT_FALSE(prefs.userKeys.has_value());
    EXPECT_EQ(ControllerFixture::readHomeFile(".QuillboreSSH"), "");

    // A file written by another save meanwhile is what the next opening shows.
    writeFile("0\r\n1\r\n0\r\n0\r\n/bin/cmd\r\n%u\r\n0\r\n\r\n");
    prefs.windowDidBecomeKey();
    EXPECT_EQ(modeStates(), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(ui.commandInfo.value, "/bin/cmd");
}

TEST_F(PrefsTest, TextTheFileCannotHoldIsRefusedAndNothingIsWritten) {
    struct Case {
        const char* what;
        std::string command, arguments, keys;
    };
    const std::vector<Case> cases{
        {"accent in the command", "/bin/caf\xC3\xA9", "", ""},
        {"accent in the arguments", "/bin/cmd", "-p \xE2\x82\xAC", ""},
        {"accent in a passphrase", "/bin/cmd", "", "/k/a:p\xC3\xA4ss"},
        {"CR in the command", "/bin/cmd\r", "", ""},
        {"LF in the arguments", "/bin/cmd", "-a\n-b", ""},
    };
    for (const Case& k : cases) {
        ControllerFixture g;
        ControllerFixture::removeHomeFile(".QuillboreSSH");
        g.ui.commandInfo.value = k.command;
        g.ui.commandArgs.value = k.arguments;
        g.ui.keyFiles.value = k.keys;
        g.prefs.setKeysFiles(nullptr);
        g.ui.aboutWindow.makeKeyAndOrderFront();

        g.prefs.userSave(nullptr);

        EXPECT_EQ(ControllerFixture::readHomeFile(".QuillboreSSH"), "") << k.what;
        ASSERT_EQ(g.ui.aboutWindow.alerts.size(), 1u) << k.what;
        EXPECT_EQ(g.ui.aboutWindow.alerts[0].messageText, "Hey , " + g.controller.getLoginName());
        EXPECT_NE(g.ui.aboutWindow.alerts[0].informativeText.find("Nothing was saved"),
                  std::string::npos)
            << k.what;
        EXPECT_TRUE(g.ui.aboutWindow.visible) << k.what;
        EXPECT_TRUE(g.launcher.children.empty()) << k.what;
    }
}

TEST_F(PrefsTest, ARefusedSaveKeepsTheOldFile) {
    const std::string plain = "1\r\n0\r\n0\r\n0\r\n\r\n\r\n0\r\n\r\n";
    writeFile(plain);
    ui.commandInfo.value = "/opt/\xC3\xBC";
    save();
    EXPECT_EQ(readFile(), plain);

    ui.commandInfo.value = "/opt/u";
    save();
    EXPECT_EQ(readFile(), "1\r\n0\r\n0\r\n0\r\n/opt/u\r\n\r\n0\r\n\r\n");
}

} // namespace
