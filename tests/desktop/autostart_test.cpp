// SPDX-License-Identifier: GPL-3.0-or-later
// Start at login: where the desktop entry goes, what it says, and that it comes and goes; and
// which services an end remembers and the next launch starts again.
#include "ControllerFixture.h"
#include "desktop/Autostart.h"
#include "desktop/LastRunning.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(Autostart, TheConfigFolderIsXdgConfigHomeWhenAbsoluteElseDotConfigInTheAccountHome) {
    EXPECT_EQ(autostart::configHome("/x/conf", "/home/q"), "/x/conf");
    EXPECT_EQ(autostart::configHome(nullptr, "/home/q"), "/home/q/.config");
    EXPECT_EQ(autostart::configHome("", "/home/q"), "/home/q/.config");
    EXPECT_EQ(autostart::configHome("relative/conf", "/home/q"), "/home/q/.config");
    EXPECT_EQ(autostart::entryPath("/x/conf"), "/x/conf/autostart/quillbore-ssh.desktop");
}

TEST(Autostart, TheEntryStartsTheProgramHiddenAndQuotesItsPath) {
    const std::string text = autostart::entryText("/opt/my apps/quillbore-ssh");
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=\"/opt/my apps/quillbore-ssh\" --hidden\n"), std::string::npos);
}

// Exec's quoting ('"', '`', '$', '\' take a backslash; '%' is doubled), then the string value's
// own escaping of '\' on top: a '\' of the path is four in the file, a '$' two and itself.
TEST(Autostart, ExecEscapesThePathForTheQuotesAndThenForTheStringValue) {
    const struct {
        std::string program;
        std::string exec; // as written after "Exec=", before " --hidden"
    } cases[] = {
        {"/a$b", R"("/a\\$b")"},
        {"/a\"b", R"("/a\\"b")"},
        {"/a`b", R"("/a\\`b")"},
        {"/a\\b", R"("/a\\\\b")"},
        {"/100%/q", R"("/100%%/q")"},
        {"/a\nb", R"("/a\nb")"},
        {"/opt/my \\ 50% \"x\" $HOME/q", R"("/opt/my \\\\ 50%% \\"x\\" \\$HOME/q")"},
    };
    for (const auto& c : cases)
        EXPECT_NE(autostart::entryText(c.program).find("\nExec=" + c.exec + " --hidden\n"),
                  std::string::npos)
            << c.program << "\n"
            << autostart::entryText(c.program);
}

TEST(Autostart, EnableWritesTheEntryFoldersIncludedAndDisableRemovesIt) {
    const std::string config = ControllerFixture::home() + "/conf-test";
    std::filesystem::remove_all(config);
    EXPECT_FALSE(autostart::isEnabled(config));
    EXPECT_TRUE(autostart::disable(config)) << "nothing to remove is no failure";

    ASSERT_TRUE(autostart::enable(config, "/usr/bin/quillbore-ssh"));
    EXPECT_TRUE(autostart::isEnabled(config));
    EXPECT_EQ(ControllerFixture::readHomeFile("conf-test/autostart/quillbore-ssh.desktop"),
              autostart::entryText("/usr/bin/quillbore-ssh"));
    ASSERT_TRUE(autostart::enable(config, "/usr/bin/quillbore-ssh")); // again: no harm
    ASSERT_TRUE(autostart::disable(config));
    EXPECT_FALSE(autostart::isEnabled(config));
    EXPECT_TRUE(std::filesystem::is_directory(config + "/autostart")) << "the folder stays";

    // A folder that cannot be made: a failure, reported, nothing written.
    ControllerFixture::writeHomeFile("conf-file", "not a folder");
    EXPECT_FALSE(autostart::enable(ControllerFixture::home() + "/conf-file", "/usr/bin/x"));
    std::filesystem::remove_all(config);
}

// The services of the list, as a launch loads them: every one idle.
class LastRunning : public ::testing::Test {
protected:
    ControllerFixture f;
    QuillboreDel& c = f.controller;

    void SetUp() override {
        ControllerFixture::removeHomeFile(".QuillboreSSH.lst");
        c.theServiceList.emplace();
        c.selectedRow = -1;
        add("a.example", "1080", "", false);
        add("a.example", "900", "db:5432", false);
        add("b.example", "2222", "127.0.0.1:22", true);
        add("twin.example", "1081", "", false);
        add("twin.example", "1081", "", false);
    }
    void add(const std::string& server, const std::string& port, const std::string& forward,
             bool reverse) {
        c.addService(nullptr);
        f.ui.serverAddress.value = server;
        f.ui.serverPort.value = port;
        f.ui.userName.value = "tester";
        f.ui.userPassword.value = "secret-pw";
        f.ui.forwardInfo.value = forward;
        f.ui.isSocks.setState(forward.empty() ? 1 : 0);
        f.ui.reverseButton.setState(reverse ? 1 : 0);
        c.addToList(nullptr);
    }
    const ServiceEntry& entry(std::size_t i) { return c.theServiceList->at(i); }
    last_running::Service mark(std::size_t i) {
        return {entry(i).server, entry(i).listenPort, entry(i).tunnelDescription};
    }
    std::vector<std::size_t> runningRows() {
        std::vector<std::size_t> rows;
        for (std::size_t i = 0; i < c.theServiceList->size(); ++i)
            if (entry(i).service->isRunning()) rows.push_back(i);
        return rows;
    }
};

// Meant to be up is what counts, not the status text: a service still starting, or waiting
// for its next try after a failed restart, is remembered; a failed or idle one is not.
TEST_F(LastRunning, AnEndRemembersTheServicesMeantToBeUpInTableOrder) {
    c.recon = true;
    c.startOne(entry(2).service, nullptr);
    c.startOne(entry(0).service, nullptr);
    f.runLoop.advance(3.0);
    f.launcher.onLaunch = [](FakeChild& child) { child.exit(255); };
    c.startOne(entry(3).service, nullptr); // fails, is not retried: an owner's start
    f.launcher.children[0]->exit(255);     // row 2 drops; its restarts fail
    f.runLoop.advance(30.0);
    f.launcher.onLaunch = nullptr;
    c.startOne(entry(1).service, nullptr);

    ASSERT_EQ(entry(0).status, "Running...");
    ASSERT_EQ(entry(1).status, "Starting...");
    ASSERT_EQ(entry(2).status, "Retrying...");
    ASSERT_EQ(entry(3).status, "Failed...");
    EXPECT_EQ(last_running::of(c), (std::vector{mark(0), mark(1), mark(2)}));
    EXPECT_EQ(mark(2).tunnelDescription, "Reverse Tunnel: 127.0.0.1:22");
}

// Rows: 0 a.example SOCKS :1080, 1 a.example db:5432 :900, 2 b.example reverse :2222,
// 3 and 4 the same twin.example SOCKS :1081.
TEST_F(LastRunning, ALaunchStartsExactlyTheRememberedServicesThatStillExist) {
    using Marks = std::vector<last_running::Service>;
    const struct {
        const char* what;
        Marks remembered;
        std::vector<std::size_t> started;
    } cases[] = {
        {"none remembered", {}, {}},
        {"two of them, in any order", {mark(2), mark(0)}, {0, 2}},
        {"one that was removed is skipped", {{"gone.example", "1080", "SOCKS"}, mark(1)}, {1}},
        {"another port is another service", {{"a.example", "901", "db:5432"}}, {}},
        {"another tunnel is another service", {{"a.example", "900", "db:5433"}}, {}},
        {"another server is another service", {{"c.example", "1080", "SOCKS"}}, {}},
        {"one of two twins starts one", {mark(3)}, {3}},
        {"both twins remembered start both", {mark(4), mark(3)}, {3, 4}},
        {"remembered twice, one row starts once", {mark(0), mark(0)}, {0}},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.what);
        for (std::size_t i = 0; i < c.theServiceList->size(); ++i)
            if (entry(i).service->isRunning()) c.stopOne(entry(i).service, nullptr);
        const std::size_t childrenBefore = f.launcher.children.size();

        EXPECT_EQ(last_running::start(c, t.remembered, &f.ui.mainWindow), t.started.size());
        EXPECT_EQ(runningRows(), t.started);
        EXPECT_EQ(f.launcher.children.size() - childrenBefore, t.started.size());
        for (std::size_t row : t.started)
            EXPECT_EQ(entry(row).status, "Starting...");
    }
    EXPECT_TRUE(f.ui.mainWindow.alertTexts().empty());
}

// Askpass mode has one password file for all: the starts go through the controller's chain,
// one at a time, with no alert.
TEST_F(LastRunning, InAskpassModeTheRememberedServicesStartOneAfterTheOther) {
    c.use_ssh_askpass = true;
    EXPECT_EQ(last_running::start(c, {mark(0), mark(1), mark(2)}, &f.ui.mainWindow), 3u);
    EXPECT_EQ(f.launcher.children.size(), 1u);
    EXPECT_TRUE(c.hasPendingStarts());
    f.runLoop.advance(QuillboreDel::kAskpassSpacing);
    f.runLoop.advance(QuillboreDel::kAskpassSpacing);
    EXPECT_EQ(runningRows(), (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(f.launcher.children.size(), 3u);
    EXPECT_TRUE(f.ui.mainWindow.alertTexts().empty());
}

} // namespace
