// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerFixture.h"
#include "ReferenceCipher.h"
#include "store/PreferencesFormat.h"

#include <gtest/gtest.h>
#include <random>

namespace {

const char* const kPrefsFile = ".QuillboreSSH";
const std::string kReloadLine = "reload preference file recieved";

// The file as the preferences window writes it, enciphered with the key "529".
void writePrefs(const std::string& plain) {
    ControllerFixture::writeHomeFile(kPrefsFile, referenceEncipher(plain, 3));
}

std::string prefs(const std::string& key, const std::string& com, const std::string& ask,
                  const std::string& prompt, const std::string& command,
                  const std::string& arguments, const std::string& recon,
                  const std::string& keyFiles) {
    return key + "\r\n" + com + "\r\n" + ask + "\r\n" + prompt + "\r\n" + command + "\r\n" +
           arguments + "\r\n" + recon + "\r\n" + keyFiles + "\r\n";
}

class PreferencesFile : public ::testing::Test {
protected:
    void SetUp() override { ControllerFixture::removeHomeFile(kPrefsFile); }
    void TearDown() override { ControllerFixture::removeHomeFile(kPrefsFile); }

    void setAllFields() {
        QuillboreDel& c = f.controller;
        c.use_my_command = c.use_ssh_askpass = c.has_prompt = c.recon = true;
        c.heres_my_command = "old command";
        c.heres_my_arguments = "old arguments";
    }
    void expectAllFieldsAsSet() {
        QuillboreDel& c = f.controller;
        EXPECT_TRUE(c.use_my_command);
        EXPECT_TRUE(c.use_ssh_askpass);
        EXPECT_TRUE(c.has_prompt);
        EXPECT_TRUE(c.recon);
        EXPECT_EQ(c.heres_my_command, "old command");
        EXPECT_EQ(c.heres_my_arguments, "old arguments");
    }
    std::vector<std::shared_ptr<FakeChild>> sshAdds() const {
        return f.launcher.launchedWith("/usr/bin/ssh-add");
    }

    ControllerFixture f;
};

} // namespace

// --- The plain text ------------------------------------------------------------------------

TEST(PreferencesFormat, EncodeUsesTheFileLayout) {
    EXPECT_EQ(prefsfile::encode(1, 0, 0, 0, "/bin/x", "-a %u", 1, "/k1\r\n/k2:pw"),
              "1\r\n0\r\n0\r\n0\r\n/bin/x\r\n-a %u\r\n1\r\n/k1\r\n/k2:pw\r\n");
    EXPECT_EQ(prefsfile::encode(0, 0, 1, -1, "", "", 0, ""),
              "0\r\n0\r\n1\r\n-1\r\n\r\n\r\n0\r\n\r\n");
}

TEST(PreferencesFormat, ElementsAndKeyFileLines) {
    auto written = prefsfile::elements(prefsfile::encode(1, 0, 0, 0, "", "", 0, ""));
    ASSERT_EQ(written.size(), 9u);
    EXPECT_EQ(prefsfile::keyFileLines(written), std::vector<std::string>{""});

    auto two = prefsfile::elements(prefsfile::encode(1, 0, 0, 0, "", "", 0, "/a\r\n/b:p"));
    EXPECT_EQ(prefsfile::keyFileLines(two), (std::vector<std::string>{"/a", "/b:p"}));

    EXPECT_EQ(prefsfile::elements("no line end").size(), 1u);
    EXPECT_EQ(prefsfile::elements("").size(), 1u);
    // Line 8 is the last element here: no key files.
    EXPECT_TRUE(prefsfile::keyFileLines(prefsfile::elements("1\r\n0\r\n0\r\n0\r\n\r\n\r\n0\r\n/k"))
                    .empty());
    EXPECT_TRUE(prefsfile::keyFileLines({"1", "0", "0"}).empty());
}

TEST(PreferencesFormat, OnlyExactlyOneIsASetFlag) {
    EXPECT_TRUE(prefsfile::isSetFlag("1"));
    for (const char* notSet : {"0", " 1", "01", "1 ", "11", "", "true", "-1"})
        EXPECT_FALSE(prefsfile::isSetFlag(notSet)) << '"' << notSet << '"';
}

TEST(PreferencesFormat, KeyFileEntries) {
    auto plain = prefsfile::parseKeyFileLine("/home/u/.ssh/id");
    EXPECT_EQ(plain.arguments, std::vector<std::string>{"/home/u/.ssh/id"});
    EXPECT_FALSE(plain.passphrase);

    auto withPass = prefsfile::parseKeyFileLine("/k:sec ret:ignored:too");
    EXPECT_EQ(withPass.arguments, std::vector<std::string>{"/k"});
    EXPECT_EQ(withPass.passphrase, "sec ret");

    EXPECT_EQ(prefsfile::parseKeyFileLine("/my keys/id").arguments,
              (std::vector<std::string>{"/my", "keys/id"}));
    EXPECT_EQ(prefsfile::parseKeyFileLine("").arguments, std::vector<std::string>{""});
    EXPECT_EQ(prefsfile::parseKeyFileLine("-t 60 /k").arguments,
              (std::vector<std::string>{"-t", "60", "/k"}));
    EXPECT_EQ(prefsfile::parseKeyFileLine("/k:").passphrase, "");
    EXPECT_EQ(prefsfile::parseKeyFileLine(":pw").arguments, std::vector<std::string>{""});
}

TEST(PreferencesFormat, HostileTextNeverFails) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 200; ++round) {
        std::string junk(static_cast<std::size_t>(rng() % 2048), '\0');
        for (char& c : junk)
            c = static_cast<char>(byte(rng));
        for (const auto& line : prefsfile::keyFileLines(prefsfile::elements(junk)))
            EXPECT_FALSE(prefsfile::parseKeyFileLine(line).arguments.empty());
    }
}

// --- Modes and settings ----------------------------------------------------------------------

TEST_F(PreferencesFile, KeyFileModeClearsTheOtherModes) {
    setAllFields();
    writePrefs(prefs("1", "1", "1", "1", "/bin/cmd", "%u@%h", "0", ""));
    f.controller.reloadPreferences();
    EXPECT_FALSE(f.controller.use_my_command);
    EXPECT_FALSE(f.controller.use_ssh_askpass);
    EXPECT_FALSE(f.controller.has_prompt);
    EXPECT_FALSE(f.controller.recon);
    EXPECT_EQ(f.controller.heres_my_command, "/bin/cmd");
    EXPECT_EQ(f.controller.heres_my_arguments, "%u@%h");
}

TEST_F(PreferencesFile, OwnCommandMode) {
    setAllFields();
    writePrefs(prefs("0", "1", "1", "1", "", "", "1", ""));
    f.controller.reloadPreferences();
    EXPECT_TRUE(f.controller.use_my_command);
    EXPECT_FALSE(f.controller.use_ssh_askpass);
    EXPECT_FALSE(f.controller.has_prompt);
    EXPECT_TRUE(f.controller.recon);
    EXPECT_EQ(f.controller.heres_my_command, "");
}

TEST_F(PreferencesFile, AskpassModeTakesThePromptFlag) {
    f.controller.use_my_command = true;
    writePrefs(prefs("0", "0", "1", "1", "", "", "0", ""));
    f.controller.reloadPreferences();
    EXPECT_FALSE(f.controller.use_my_command);
    EXPECT_TRUE(f.controller.use_ssh_askpass);
    EXPECT_TRUE(f.controller.has_prompt);

    writePrefs(prefs("0", "0", "1", "0", "", "", "0", ""));
    f.controller.reloadPreferences();
    EXPECT_TRUE(f.controller.use_ssh_askpass);
    EXPECT_FALSE(f.controller.has_prompt);
}

TEST_F(PreferencesFile, NoModeSetKeepsTheModeFields) {
    setAllFields();
    writePrefs(prefs("0", "0", "0", "0", "new", "args", "0", ""));
    f.controller.reloadPreferences();
    EXPECT_TRUE(f.controller.use_my_command);
    EXPECT_TRUE(f.controller.use_ssh_askpass);
    EXPECT_TRUE(f.controller.has_prompt);
    EXPECT_FALSE(f.controller.recon);
    EXPECT_EQ(f.controller.heres_my_command, "new");
}

TEST_F(PreferencesFile, FlagsOtherThanExactlyOneAreNotSet) {
    setAllFields();
    writePrefs(prefs(" 1", "01", "1 ", "1", "", "", " 1", ""));
    f.controller.reloadPreferences();
    EXPECT_TRUE(f.controller.use_my_command); // no mode matched: kept
    EXPECT_TRUE(f.controller.use_ssh_askpass);
    EXPECT_FALSE(f.controller.recon);

    writePrefs(prefs("0", "0", "1", "01", "", "", "01", ""));
    f.controller.reloadPreferences();
    EXPECT_TRUE(f.controller.use_ssh_askpass);
    EXPECT_FALSE(f.controller.has_prompt);
}

TEST_F(PreferencesFile, WhatTheFormatWritesIsWhatIsApplied) {
    writePrefs(prefsfile::encode(0, 1, 0, 0, "/opt/my ssh", "-l %u %h -p %p", 1, ""));
    f.controller.reloadPreferences();
    EXPECT_TRUE(f.controller.use_my_command);
    EXPECT_EQ(f.controller.heres_my_command, "/opt/my ssh");
    EXPECT_EQ(f.controller.heres_my_arguments, "-l %u %h -p %p");
    EXPECT_TRUE(f.controller.recon);
}

// --- Key files -------------------------------------------------------------------------------

TEST_F(PreferencesFile, AnEmptyKeyListStillStartsOneSshAdd) {
    writePrefs(prefs("1", "0", "0", "0", "", "", "0", ""));
    f.controller.reloadPreferences();
    auto children = sshAdds();
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(children[0]->arguments, std::vector<std::string>{""});
    EXPECT_EQ(children[0]->stdinText, "");
    EXPECT_EQ(f.log.lines, std::vector<std::string>{kReloadLine});
}

TEST_F(PreferencesFile, OnlyTheKeyWithAPassphraseGetsIt) {
    writePrefs(prefs("1", "0", "0", "0", "", "", "0",
                     "/home/k/.ssh/id_one\r\n/home/k/.ssh/id_two:open sesame:comment"));
    f.controller.reloadPreferences();
    auto children = sshAdds();
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0]->arguments, std::vector<std::string>{"/home/k/.ssh/id_one"});
    EXPECT_EQ(children[0]->stdinText, "");
    EXPECT_EQ(children[1]->arguments, std::vector<std::string>{"/home/k/.ssh/id_two"});
    EXPECT_EQ(children[1]->stdinText, "open sesame\n");
    for (const auto& c : children)
        EXPECT_TRUE(c->stdinClosed);
    // The one with a passphrase reads it from the pipe even on a desktop (DISPLAY set); the
    // other may still ask the user through an askpass program.
    EXPECT_TRUE(children[0]->environment.empty());
    EXPECT_EQ(children[1]->environment,
              (std::map<std::string, std::string>{{"SSH_ASKPASS_REQUIRE", "never"}}));

    EXPECT_EQ(f.log.lines, (std::vector<std::string>{kReloadLine, "-- 1 : ********"}));
    for (const auto& line : f.log.lines)
        EXPECT_EQ(line.find("sesame"), std::string::npos);
}

TEST_F(PreferencesFile, KeyFilesLoadInEveryModeInFileOrder) {
    writePrefs(prefs("0", "0", "1", "0", "", "", "0", "/a\r\n\r\n/my keys/id:pw\r\n-D"));
    f.controller.reloadPreferences();
    auto children = sshAdds();
    ASSERT_EQ(children.size(), 4u);
    EXPECT_EQ(children[0]->arguments, std::vector<std::string>{"/a"});
    EXPECT_EQ(children[1]->arguments, std::vector<std::string>{""});
    EXPECT_EQ(children[2]->arguments, (std::vector<std::string>{"/my", "keys/id"}));
    EXPECT_EQ(children[2]->stdinText, "pw\n");
    EXPECT_EQ(children[3]->arguments, std::vector<std::string>{"-D"});
    EXPECT_TRUE(f.log.contains("-- 0 : ********"));
}

TEST_F(PreferencesFile, EveryReloadLoadsTheKeysAgain) {
    writePrefs(prefs("1", "0", "0", "0", "", "", "0", "/k"));
    f.controller.reloadPreferences();
    f.controller.reloadPreferences();
    EXPECT_EQ(sshAdds().size(), 2u);
}

// --- Refusals and damaged files --------------------------------------------------------------

TEST_F(PreferencesFile, ALockedApplicationAppliesNothing) {
    setAllFields();
    f.ui.lockButtons.setImage(image::LockLocked);
    writePrefs(prefs("1", "0", "0", "0", "new", "new", "0", "/k:pw"));
    f.controller.reloadPreferences();
    expectAllFieldsAsSet();
    EXPECT_TRUE(f.launcher.children.empty());
    EXPECT_EQ(f.log.lines, std::vector<std::string>{kReloadLine});
    EXPECT_TRUE(f.ui.mainWindow.alerts.empty()); // no message
}

TEST_F(PreferencesFile, FilesLackingSettingLinesAreIgnored) {
    setAllFields();
    std::vector<std::string> damaged{"1\r\n", // two elements
                                     "1\r\n0\r\n0\r\n0\r\nx\r\n",
                                     "1\r\n0\r\n0\r\n0\r\nx\r\ny", // six elements
                                     "1 no line end at all"};
    for (const std::string& plain : damaged) {
        writePrefs(plain);
        f.controller.reloadPreferences();
        expectAllFieldsAsSet();
    }
    ControllerFixture::removeHomeFile(kPrefsFile);
    f.controller.reloadPreferences();
    expectAllFieldsAsSet();
    EXPECT_TRUE(f.launcher.children.empty());
}

TEST_F(PreferencesFile, SevenElementsApplyTheSettingsWithoutKeys) {
    writePrefs("0\r\n1\r\n0\r\n0\r\ncmd\r\nargs\r\n1");
    f.controller.reloadPreferences();
    EXPECT_TRUE(f.controller.use_my_command);
    EXPECT_EQ(f.controller.heres_my_arguments, "args");
    EXPECT_TRUE(f.controller.recon);
    EXPECT_TRUE(f.launcher.children.empty());
}

TEST_F(PreferencesFile, HostileFilesDoNotFail) {
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 20; ++round) {
        std::string junk(static_cast<std::size_t>(rng() % 8192), '\0');
        for (char& c : junk)
            c = static_cast<char>(byte(rng));
        ControllerFixture::writeHomeFile(kPrefsFile, junk);
        f.controller.reloadPreferences();
    }
    writePrefs(
        prefs("1", "0", "0", "0", std::string(1 << 20, 'c'), "", "0", std::string(1 << 20, ':')));
    f.controller.reloadPreferences();
    EXPECT_EQ(f.controller.heres_my_command.size(), 1u << 20);
    ASSERT_FALSE(sshAdds().empty());
    EXPECT_EQ(sshAdds().back()->arguments, std::vector<std::string>{""});
    EXPECT_EQ(sshAdds().back()->stdinText, "\n");
}
