#include "platform/Accounts.h"
#include "platform/Files.h"

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A fresh folder inside the test account's home.
class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* home = std::getenv("QB_TEST_HOME");
        ASSERT_NE(home, nullptr) << "run under tests/support/with-test-home";
        std::string pattern = std::string(home) + "/files.XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        DIR* d = opendir(dir.c_str());
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(d);
        return names;
    }

    static mode_t modeOf(const std::string& p) {
        struct stat st = {};
        stat(p.c_str(), &st);
        return st.st_mode & 07777;
    }

    std::string dir;
};

TEST_F(FilesTest, WriteCreatesAnOwnerOnlyFileWhateverTheUmask) {
    mode_t old = umask(0);
    bool ok = files::writeAtomically(path("list"), "one\r\ntwo");
    umask(old);
    ASSERT_TRUE(ok);
    EXPECT_EQ(modeOf(path("list")), 0600u);
    EXPECT_EQ(files::readWhole(path("list")), "one\r\ntwo");
    EXPECT_EQ(entries(), std::vector<std::string>{"list"}); // no temporary left behind
}

TEST_F(FilesTest, ReplacingAFileSwapsItInOneStepAndMakesItOwnerOnly) {
    const std::string p = path("prefs");
    { std::ofstream(p) << "old content"; }
    chmod(p.c_str(), 0644);
    int oldFile = open(p.c_str(), O_RDONLY);
    ASSERT_GE(oldFile, 0);

    ASSERT_TRUE(files::writeAtomically(p, "new"));
    EXPECT_EQ(files::readWhole(p), "new");
    EXPECT_EQ(modeOf(p), 0600u);
    // A reader of the old file still sees it whole: the new content went to a new file.
    char buffer[32] = {};
    ssize_t n = pread(oldFile, buffer, sizeof buffer, 0);
    close(oldFile);
    EXPECT_EQ(std::string(buffer, n > 0 ? n : 0), "old content");
    EXPECT_EQ(entries(), std::vector<std::string>{"prefs"});
}

TEST_F(FilesTest, ContentIsKeptByteForByte) {
    std::string content("a\0b\r\n\xff", 6);
    ASSERT_TRUE(files::writeAtomically(path("bin"), content));
    EXPECT_EQ(files::readWhole(path("bin")), content);
    ASSERT_TRUE(files::writeAtomically(path("empty"), ""));
    EXPECT_EQ(files::readWhole(path("empty")), std::string()); // empty, not missing
}

TEST_F(FilesTest, AWriteOfTheSameBytesIsSkippedOnlyWhenNothingWouldChange) {
    const std::string p = path("list");
    auto inode = [&] {
        struct stat st = {};
        stat(p.c_str(), &st);
        return st.st_ino;
    };
    ASSERT_TRUE(files::writeAtomicallyIfChanged(p, "abc")); // missing: created
    EXPECT_EQ(files::readWhole(p), "abc");
    const ino_t first = inode();
    ASSERT_TRUE(files::writeAtomicallyIfChanged(p, "abc"));
    EXPECT_EQ(inode(), first);

    // A prefix, a longer text and one changed byte are all written.
    for (const std::string& other : {"ab", "abcd", "abd", ""}) {
        const ino_t old = inode();
        ASSERT_TRUE(files::writeAtomicallyIfChanged(p, other));
        EXPECT_EQ(files::readWhole(p), other);
        EXPECT_NE(inode(), old) << other;
    }

    // Same bytes in a file others may read: replaced, so it ends owner-only as a write would.
    ASSERT_TRUE(files::writeAtomically(p, "xyz"));
    chmod(p.c_str(), 0644);
    const ino_t open = inode();
    ASSERT_TRUE(files::writeAtomicallyIfChanged(p, "xyz"));
    EXPECT_NE(inode(), open);
    EXPECT_EQ(modeOf(p), 0600u);
    EXPECT_EQ(entries(), std::vector<std::string>{"list"});
}

TEST_F(FilesTest, AFailedWriteReportsFalseAndLeavesNothing) {
    EXPECT_FALSE(files::writeAtomically(path("missing-folder/file"), "x"));
    ASSERT_EQ(mkdir(path("a-folder").c_str(), 0700), 0);
    EXPECT_FALSE(files::writeAtomically(path("a-folder"), "x")); // cannot replace a folder
    EXPECT_EQ(entries(), std::vector<std::string>{"a-folder"});
}

TEST_F(FilesTest, ReadingWhatIsNotAReadableFileGivesNothing) {
    EXPECT_EQ(files::readWhole(path("missing")), std::nullopt);
    EXPECT_EQ(files::readWhole(dir), std::nullopt);
}

TEST_F(FilesTest, RemoveTreatsAMissingFileAsDone) {
    ASSERT_TRUE(files::writeAtomically(path("askpass"), "x"));
    EXPECT_TRUE(files::remove(path("askpass")));
    EXPECT_EQ(files::readWhole(path("askpass")), std::nullopt);
    EXPECT_TRUE(files::remove(path("askpass")));
    EXPECT_FALSE(files::remove(dir)); // a folder is not a file to remove
}

TEST(Accounts, ComeFromTheAccountRecordNotTheEnvironment) {
    const char* home = std::getenv("QB_TEST_HOME");
    const char* login = std::getenv("QB_TEST_LOGIN_NAME");
    ASSERT_NE(home, nullptr) << "run under tests/support/with-test-home";
    ASSERT_NE(login, nullptr);

    std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", "/nowhere", 1);
    setenv("USER", "somebody-else", 1);
    setenv("LOGNAME", "somebody-else", 1);
    auto foundHome = accounts::homeDirectory();
    auto foundLogin = accounts::loginName();
    setenv("HOME", oldHome.c_str(), 1);

    EXPECT_EQ(foundHome, std::string(home));
    EXPECT_EQ(foundLogin, std::string(login));
    EXPECT_EQ(accounts::realUserId(), getuid());
}

} // namespace
