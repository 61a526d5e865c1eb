// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Accounts.h"
#include "platform/Files.h"

#include <algorithm>
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
    for (const char* other : {"ab", "abcd", "abd", ""}) {
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

// ---- Symbolic links --------------------------------------------------------------------------

std::string linkText(const std::string& p) {
    char buffer[4096];
    const ssize_t n = readlink(p.c_str(), buffer, sizeof buffer);
    return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
}

bool isLink(const std::string& p) {
    struct stat st = {};
    return lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

TEST_F(FilesTest, WritingThroughALinkReplacesItsTargetAndKeepsTheLink) {
    ASSERT_EQ(mkdir(path("dotfiles").c_str(), 0700), 0);
    const std::string target = path("dotfiles/QuillboreSSH.lst");
    { std::ofstream(target) << "old"; }
    chmod(target.c_str(), 0644);
    ASSERT_EQ(symlink("dotfiles/QuillboreSSH.lst", path(".QuillboreSSH.lst").c_str()), 0);

    ASSERT_TRUE(files::writeAtomically(path(".QuillboreSSH.lst"), "new"));
    EXPECT_TRUE(isLink(path(".QuillboreSSH.lst")));
    EXPECT_EQ(linkText(path(".QuillboreSSH.lst")), "dotfiles/QuillboreSSH.lst");
    EXPECT_EQ(files::readWhole(target), "new");
    EXPECT_EQ(modeOf(target), 0600u);
    // The temporary file was made beside the target (one rename) and is gone.
    std::vector<std::string> names = entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".QuillboreSSH.lst", "dotfiles"}));
    std::vector<std::string> inTarget;
    DIR* d = opendir(path("dotfiles").c_str());
    while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            inTarget.push_back(e->d_name);
    closedir(d);
    EXPECT_EQ(inTarget, std::vector<std::string>{"QuillboreSSH.lst"});
}

TEST_F(FilesTest, AChainOfLinksAndADanglingLinkLeadToTheFinalTarget) {
    ASSERT_EQ(mkdir(path("store").c_str(), 0700), 0);
    // absolute -> relative -> not yet existing file
    ASSERT_EQ(symlink("../store/prefs", path("store/middle").c_str()), 0);
    ASSERT_EQ(symlink(path("store/middle").c_str(), path(".QuillboreSSH").c_str()), 0);

    ASSERT_TRUE(files::writeAtomically(path(".QuillboreSSH"), "first"));
    ASSERT_TRUE(files::writeAtomically(path(".QuillboreSSH"), "second"));
    EXPECT_TRUE(isLink(path(".QuillboreSSH")));
    EXPECT_TRUE(isLink(path("store/middle")));
    EXPECT_EQ(files::readWhole(path("store/prefs")), "second");
    EXPECT_EQ(modeOf(path("store/prefs")), 0600u);
}

TEST_F(FilesTest, ALinkLoopIsAFailedWriteThatChangesNothing) {
    ASSERT_EQ(symlink("b", path("a").c_str()), 0);
    ASSERT_EQ(symlink("a", path("b").c_str()), 0);
    EXPECT_FALSE(files::writeAtomically(path("a"), "x"));
    EXPECT_TRUE(isLink(path("a")));
    EXPECT_EQ(linkText(path("a")), "b");
    EXPECT_EQ(entries().size(), 2u);
}

// ---- Leftovers of an interrupted write ---------------------------------------------------------

TEST_F(FilesTest, OnlyOurOwnLeftoverTemporaryFilesAreRemoved) {
    const std::string file = path(".QuillboreSSH.lst");
    ASSERT_TRUE(files::writeAtomically(file, "kept"));
    const std::vector<std::string> ours = {".QuillboreSSH.lst.qbtmp-Ab12Cd",
                                           ".QuillboreSSH.lst.qbtmp-zzzzzz"};
    const std::vector<std::string> notOurs = {
        ".QuillboreSSH.lst.qbtmp-Ab12C",   ".QuillboreSSH.lst.qbtmp-Ab12Cde",
        ".QuillboreSSH.lst.qbtmp-Ab-2Cd",  ".QuillboreSSH.lst.backup",
        ".QuillboreSSH.lst.A1b2C3",        ".QuillboreSSH.qbtmp-Ab12Cd",
        "x.QuillboreSSH.lst.qbtmp-Ab12Cd", ".QuillboreSSH.lst.qbtmp-Ab12Cd.keep"};
    for (const auto& name : ours)
        std::ofstream(path(name)) << "scrambled passwords";
    for (const auto& name : notOurs)
        std::ofstream(path(name)) << "a file of the user's";
    // Named like ours, but a folder and a link: not files we made.
    ASSERT_EQ(mkdir(path(".QuillboreSSH.lst.qbtmp-Folder").c_str(), 0700), 0);
    ASSERT_EQ(symlink("kept-target", path(".QuillboreSSH.lst.qbtmp-Link00").c_str()), 0);

    files::removeLeftoverTemporaries(file);

    for (const auto& name : ours)
        EXPECT_FALSE(files::readWhole(path(name))) << name;
    for (const auto& name : notOurs)
        EXPECT_EQ(files::readWhole(path(name)), "a file of the user's") << name;
    EXPECT_TRUE(isLink(path(".QuillboreSSH.lst.qbtmp-Link00")));
    EXPECT_EQ(modeOf(path(".QuillboreSSH.lst.qbtmp-Folder")), 0700u);
    EXPECT_EQ(files::readWhole(file), "kept");
}

TEST_F(FilesTest, LeftoversBesideALinkTargetAreRemovedToo) {
    ASSERT_EQ(mkdir(path("dotfiles").c_str(), 0700), 0);
    ASSERT_EQ(symlink("dotfiles/prefs", path(".QuillboreSSH").c_str()), 0);
    ASSERT_TRUE(files::writeAtomically(path(".QuillboreSSH"), "kept"));
    std::ofstream(path("dotfiles/prefs.qbtmp-Q1w2E3")) << "scrambled";
    std::ofstream(path(".QuillboreSSH.qbtmp-Q1w2E3")) << "scrambled";

    files::removeLeftoverTemporaries(path(".QuillboreSSH"));

    EXPECT_FALSE(files::readWhole(path("dotfiles/prefs.qbtmp-Q1w2E3")));
    EXPECT_FALSE(files::readWhole(path(".QuillboreSSH.qbtmp-Q1w2E3")));
    EXPECT_EQ(files::readWhole(path(".QuillboreSSH")), "kept");
    EXPECT_TRUE(isLink(path(".QuillboreSSH")));
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
