// SPDX-License-Identifier: GPL-3.0-or-later
// The program and argument vector a tunnel starts, for every kind and both command forms.
#include "CapturingLog.h"
#include "ControllerFixture.h"
#include "FakeProcess.h"
#include "ManualRunLoop.h"
#include "RecordingTunnelDelegate.h"
#include "platform/Files.h"
#include "platform/PosixProcessLauncher.h"
#include "tunnel/OpenSshConfig.h"
#include "tunnel/SSHTunnel.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Args = std::vector<std::string>;

class TunnelCommand : public ::testing::Test {
protected:
    ManualRunLoop loop;
    FakeLauncher launcher;
    CapturingLog log;
    RecordingTunnelDelegate delegate;
    std::shared_ptr<SSHTunnel> tunnel = std::make_shared<SSHTunnel>(loop, launcher, log);

    void SetUp() override { tunnel->setDelegate(&delegate); }

    void ownCommand(const std::string& path, const std::string& variables) {
        delegate.useOwnCommand = true;
        delegate.commandString = path;
        delegate.variables = variables;
    }

    // Starts the tunnel and returns what the child was launched with.
    std::shared_ptr<FakeChild> start(const std::string& mode, const std::string& user = "alice",
                                     const std::string& pass = "secret",
                                     const std::string& server = "gw.example",
                                     const std::string& listenOn = "8080") {
        tunnel->setUser(user, pass, server, listenOn, mode);
        tunnel->startService();
        return launcher.last();
    }
};

TEST_F(TunnelCommand, BuiltInFormsRunSshWithTheirKindsArguments) {
    auto socks = start("SOCKS");
    EXPECT_EQ(socks->path, "/usr/bin/ssh");
    EXPECT_EQ(socks->arguments, (Args{"-D", "8080", "alice@gw.example", "-N"}));

    auto reverse = start("Reverse Tunnel: db.local:5432");
    EXPECT_EQ(reverse->path, "/usr/bin/ssh");
    EXPECT_EQ(reverse->arguments, (Args{"-R", "8080:db.local:5432", "alice@gw.example", "-N"}));

    auto local = start("db.local:5432");
    EXPECT_EQ(local->path, "/usr/bin/ssh");
    EXPECT_EQ(local->arguments, (Args{"alice@gw.example", "-L", "8080:db.local:5432", "-N"}));
}

TEST_F(TunnelCommand, OwnCommandFormsPutTheTemplateFirst) {
    ownCommand("/opt/bin/sshpass", "-p %p ssh %u@%h");
    const Args head{"-p", "secret", "ssh", "alice@gw.example"};
    auto with = [&](Args tail) {
        Args all = head;
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };

    auto socks = start("SOCKS");
    EXPECT_EQ(socks->path, "/opt/bin/sshpass");
    EXPECT_EQ(socks->arguments, with({"-D", "8080", "-N"}));
    EXPECT_EQ(start("Reverse: db.local:5432")->arguments, with({"-R", "8080:db.local:5432", "-N"}));
    EXPECT_EQ(start("db.local:5432")->arguments, with({"-L", "8080:db.local:5432", "-N"}));
}

TEST_F(TunnelCommand, ChildGetsAnOpenUnwrittenStdinPipe) {
    auto child = start("SOCKS");
    EXPECT_TRUE(child->launched);
    EXPECT_EQ(child->stdinText, "");
    EXPECT_FALSE(child->stdinClosed);
}

TEST_F(TunnelCommand, KindTestIsExactAndUsesOnlyTheSecondPiece) {
    // Lower case is not the SOCKS keyword: a local forward to "socks".
    EXPECT_EQ(start("socks")->arguments, (Args{"alice@gw.example", "-L", "8080:socks", "-N"}));
    // A second ": " after the target: the third piece is ignored.
    EXPECT_EQ(start("Reverse Tunnel: db.local:5432: note")->arguments,
              (Args{"-R", "8080:db.local:5432", "alice@gw.example", "-N"}));
    // Added and edited labels select the same target.
    EXPECT_EQ(start("Reverse: h:1")->arguments, start("Reverse Tunnel: h:1")->arguments);
    // A colon without a blank is a host:port target, not a reverse label.
    EXPECT_EQ(start("Reverse:h:1")->arguments,
              (Args{"alice@gw.example", "-L", "8080:Reverse:h:1", "-N"}));
}

TEST_F(TunnelCommand, KindIsDecidedAtEveryStart) {
    start("SOCKS");
    tunnel->stopService();
    tunnel->setUser("bob", "pw", "other.example", "9000", "web:80");
    tunnel->startService();
    EXPECT_EQ(launcher.last()->arguments, (Args{"bob@other.example", "-L", "9000:web:80", "-N"}));
}

TEST_F(TunnelCommand, OwnCommandIsAskedForAtEveryStart) {
    start("SOCKS");
    EXPECT_EQ(launcher.last()->path, "/usr/bin/ssh");
    tunnel->stopService();
    ownCommand("/usr/local/bin/myssh", "%u@%h");
    tunnel->startService();
    EXPECT_EQ(launcher.last()->path, "/usr/local/bin/myssh");
    EXPECT_EQ(launcher.last()->arguments, (Args{"alice@gw.example", "-D", "8080", "-N"}));
}

TEST_F(TunnelCommand, OwnCommandPathIsUsedUnchanged) {
    ownCommand("bin/relative tool", "x");
    EXPECT_EQ(start("SOCKS")->path, "bin/relative tool");
}

TEST_F(TunnelCommand, PlaceholdersAreReplacedUserThenServerThenPassword) {
    ownCommand("/bin/cmd", "%u %h %p");
    // The user name's "%h" becomes the server, wherever a server's "%p" lands it becomes the
    // password; the password's "%u" stays, as user names were replaced before it was put in.
    EXPECT_EQ(start("SOCKS", "me%h", "pw%u", "srv%p")->arguments,
              (Args{"mesrvpw%u", "srvpw%u", "pw%u", "-D", "8080", "-N"}));
}

TEST_F(TunnelCommand, BlanksInValuesSplitArguments) {
    EXPECT_EQ(start("SOCKS", "john doe")->arguments,
              (Args{"-D", "8080", "john", "doe@gw.example", "-N"}));
    ownCommand("/bin/cmd", "-p %p");
    EXPECT_EQ(start("SOCKS", "alice", "two words")->arguments,
              (Args{"-p", "two", "words", "-D", "8080", "-N"}));
}

TEST_F(TunnelCommand, DoubleBlanksAndEmptyFieldsGiveEmptyArguments) {
    EXPECT_EQ(start("SOCKS", "", "", "", "")->arguments, (Args{"-D", "", "@", "-N"}));
    EXPECT_EQ(start("SOCKS", "", "", "server")->arguments, (Args{"-D", "8080", "@server", "-N"}));
    EXPECT_EQ(start("", "u", "", "s", "1")->arguments, (Args{"u@s", "-L", "1:", "-N"}));

    ownCommand("/bin/cmd", "a  b");
    EXPECT_EQ(start("SOCKS")->arguments, (Args{"a", "", "b", "-D", "8080", "-N"}));
    ownCommand("/bin/cmd", "");
    EXPECT_EQ(start("SOCKS")->arguments, (Args{"", "-D", "8080", "-N"}));
}

TEST_F(TunnelCommand, BuildCommandMatchesWhatStartLaunches) {
    tunnel->setUser("alice", "pw", "gw", "1080", "Reverse: h:2");
    SSHTunnel::Command command = tunnel->buildCommand();
    tunnel->startService();
    EXPECT_EQ(command.path, launcher.last()->path);
    EXPECT_EQ(command.arguments, launcher.last()->arguments);
}

TEST(TunnelCommandWithoutDelegate, RunsTheBuiltInSsh) {
    ManualRunLoop loop;
    FakeLauncher launcher;
    CapturingLog log;
    auto tunnel = std::make_shared<SSHTunnel>(loop, launcher, log);
    tunnel->setUser("u", "p", "s", "1080", "SOCKS");
    tunnel->startService();
    EXPECT_EQ(launcher.last()->path, "/usr/bin/ssh");
    EXPECT_EQ(launcher.last()->arguments, (Args{"-D", "1080", "u@s", "-N"}));
}

} // namespace

// --- What the user's OpenSSH configuration sets, asked of the real ssh -G --------------------

class CountingLauncher : public ProcessLauncher {
public:
    std::unique_ptr<ChildProcess> create() override {
        ++created;
        return real.create();
    }
    PosixProcessLauncher real;
    int created = 0;
};

TEST(OpenSshConfigTest, AsksSshOncePerDestinationUntilTheConfigurationChanges) {
    if (::access("/usr/bin/ssh", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/ssh";
    const std::string home = ControllerFixture::home();
    ::mkdir((home + "/.ssh").c_str(), 0700);
    const std::string config = home + "/.ssh/config";
    ASSERT_TRUE(files::writeAtomically(config, "Host alive\n  ServerAliveInterval 20\n"
                                               "Host exits\n  ExitOnForwardFailure yes\n"));
    CountingLauncher launcher;
    OpenSshConfig ssh(launcher);
    using S = SshConfigQuery::Settings;
    EXPECT_EQ(ssh.settingsFor("u@alive"), (S{true, false}));
    EXPECT_EQ(ssh.settingsFor("u@exits"), (S{false, true}));
    EXPECT_EQ(ssh.settingsFor("u@plain.example"), (S{false, false}));
    EXPECT_EQ(ssh.settingsFor("u@alive"), (S{true, false}));
    EXPECT_EQ(launcher.created, 3) << "one ssh -G per destination";

    ASSERT_TRUE(files::writeAtomically(config, "Host *\n  ServerAliveInterval 0\n"));
    EXPECT_EQ(ssh.settingsFor("u@alive"), (S{false, false})) << "the changed file is read";
    EXPECT_EQ(launcher.created, 4);
    ASSERT_TRUE(files::writeAtomically(config, "Host\n  ServerAliveInterval\n")); // broken
    EXPECT_EQ(ssh.settingsFor("u@alive"), (S{false, false}));
    ControllerFixture::removeHomeFile(".ssh/config");
}
