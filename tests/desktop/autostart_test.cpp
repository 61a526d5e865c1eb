// Start at login: where the desktop entry goes, what it says, and that it comes and goes.
#include "ControllerFixture.h"
#include "desktop/Autostart.h"

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
        {"/usr/bin/quillbore-ssh", R"("/usr/bin/quillbore-ssh")"},
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

} // namespace
