// SPDX-License-Identifier: GPL-3.0-or-later
// Why a service failed, at the edges the GUI and e2e tests do not reach: which lines go under
// the failure alert, the order of the log's events, which forwards are marked and which not.
// (The tooltip, the log window, the lock and the masked password: gui_log_test and
// diagnostics_e2e_test, with real widgets and the real ssh.)
#include "ControllerFixture.h"
#include "platform/Files.h"
#include "tunnel/HostKeys.h"

#include <arpa/inet.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kFailedAlert =
    "It appears a tunnel service has failed. Check your password and/or internet connection. If "
    "you have not connected via ssh before you will need to do so and generate the key file "
    "before this app will work. If you don't have a RSK key for the server you will need to use "
    "a command line utility to manage the passwords like sshpass.";
constexpr const char* kRefused = "ssh: connect to host db port 22: Connection refused";
constexpr const char* kPassword = "Zq-8 s3cret";

// A TCP socket on 127.0.0.1 with a port of the kernel's choice; listening or only bound
// (then nothing accepts on that port).
class LoopbackPort {
public:
    explicit LoopbackPort(bool listening) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        if (listening) ::listen(fd_, 4);
        socklen_t length = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackPort() { ::close(fd_); }
    std::string port() const { return std::to_string(port_); }
    void listen() { ::listen(fd_, 4); }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A pid beyond any the kernel hands out: a child that holds nothing and has no children.
constexpr pid_t kNoProcess = 1 << 23;

class Diagnostics : public ::testing::Test {
protected:
    ControllerFixture f;
    QuillboreDel& c = f.controller;

    // The pid the next children have, as the forward check finds them in /proc.
    void childrenAre(pid_t pid) {
        f.launcher.onLaunch = [pid](FakeChild& child) { child.pid = pid; };
    }

    void SetUp() override {
        ControllerFixture::removeHomeFile(".QuillboreSSH.lst");
        c.theServiceList.emplace();
        c.selectedRow = -1;
        c.updateStatus();
    }

    // kind: "SOCKS", "reverse" or a forward address.
    void add(const std::string& server, const std::string& port, const std::string& kind,
             const std::string& password = kPassword) {
        c.addService(nullptr);
        f.ui.serverAddress.value = server;
        f.ui.serverPort.value = port;
        f.ui.userPassword.value = password;
        f.ui.isSocks.stateValue = kind == "SOCKS";
        f.ui.reverseButton.stateValue = kind == "reverse";
        f.ui.forwardInfo.value = kind == "SOCKS" ? "" : "127.0.0.1:22";
        c.addToList(nullptr);
    }

    std::shared_ptr<FakeChild> start(long row) {
        f.ui.serviceList.selected = row;
        c.startTunnel(nullptr);
        return f.launcher.last();
    }

    // Lets the run loop read what the children wrote.
    void read() { f.runLoop.fireReadyDescriptors(); }
    // Lets probes and their retries run: ready descriptors, then due timers, `seconds` long.
    void settle(double seconds) {
        for (double t = 0; t <= seconds; t += 0.5) {
            for (int i = 0; i < 20 && f.runLoop.fireReadyDescriptors() > 0; ++i) {
            }
            f.runLoop.advance(0.5);
        }
        f.runLoop.fireReadyDescriptors();
    }

    SSHTunnel& tunnel(std::size_t i) { return *c.theServiceList->at(i).service; }
    std::string statusImage(std::size_t i) { return f.ui.serviceList.rows.at(i).status.image(); }
    std::vector<std::string> logLines(bool events) {
        std::vector<std::string> lines;
        for (const auto& e : c.activityLog.entries())
            if (e.event == events) lines.push_back(e.service + " " + e.text);
        return lines;
    }
};

// --- The failure alert ------------------------------------------------------------------

TEST_F(Diagnostics, TheFailureAlertKeepsItsTextAndShowsTheLastLinesOfThisStartUnder) {
    add("db", "5432", "127.0.0.1:5432");
    auto first = start(0);
    first->write("from an earlier run\n");
    read();
    c.stopTunnel(nullptr);

    auto child = start(0);
    for (int i = 1; i <= 8; ++i)
        child->write("debug line " + std::to_string(i) + "\n");
    child->write(std::string(kRefused) + "\n");
    child->exit(255);
    f.runLoop.advance(3.0);

    ASSERT_EQ(f.ui.mainWindow.alerts.size(), 1u);
    const Alert& alert = f.ui.mainWindow.alerts[0];
    EXPECT_EQ(alert.informativeText, kFailedAlert);
    EXPECT_EQ(alert.detailText, "debug line 4\ndebug line 5\ndebug line 6\ndebug line 7\n"
                                "debug line 8\n" +
                                    std::string(kRefused));
}

TEST_F(Diagnostics, AChildThatSaidNothingGivesTheAlertWithoutDetail) {
    add("db", "5432", "127.0.0.1:5432");
    f.launcher.onLaunch = [](FakeChild& child) { child.exit(255); };
    start(0);
    f.runLoop.advance(3.0);
    ASSERT_EQ(f.ui.mainWindow.alerts.size(), 1u);
    EXPECT_EQ(f.ui.mainWindow.alerts[0].detailText, "");
}

// --- Tooltip, log and system log --------------------------------------------------------

TEST_F(Diagnostics, TheLogHoldsEachServicesLinesAndOurEventsInOrder) {
    add("db", "5432", "127.0.0.1:5432");
    add("bastion", "1080", "SOCKS");
    auto db = start(0);
    auto bastion = start(1);
    db->write("db says\n");
    bastion->write("bastion says\n");
    read();
    f.runLoop.advance(3.0);
    f.ui.serviceList.selected = 0;
    c.stopTunnel(nullptr);

    const std::vector<std::string> events = logLines(true);
    const std::vector<std::string> expected = {
        "db  local 127.0.0.1:22 :5432 start (pid " + std::to_string(db->pid) + ")",
        "bastion  SOCKS :1080 start (pid " + std::to_string(bastion->pid) + ")",
        "db  local 127.0.0.1:22 :5432 status Starting...",
        "db  local 127.0.0.1:22 :5432 status Running...",
        "bastion  SOCKS :1080 status Starting...",
        "bastion  SOCKS :1080 status Running...",
        "db  local 127.0.0.1:22 :5432 stop"};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(logLines(false), (std::vector<std::string>{"db  local 127.0.0.1:22 :5432 db says",
                                                         "bastion  SOCKS :1080 bastion says"}));
}

TEST_F(Diagnostics, AnUnfinishedLastLineEndsWithItsChild) {
    add("db", "5432", "127.0.0.1:5432");
    auto first = start(0);
    first->write("half a line");
    read();
    c.stopTunnel(nullptr);
    auto second = start(0);
    second->write("next\n");
    read();
    EXPECT_EQ(logLines(false), (std::vector<std::string>{"db  local 127.0.0.1:22 :5432 half a line",
                                                         "db  local 127.0.0.1:22 :5432 next"}));
}

TEST_F(Diagnostics, TheLogIsBoundedAndClearEmptiesIt) {
    for (std::size_t i = 0; i < ActivityLog::kMaxEntries + 10; ++i)
        c.activityLog.add({}, "s:1", "line " + std::to_string(i), false);
    ASSERT_EQ(c.activityLog.entries().size(), ActivityLog::kMaxEntries);
    EXPECT_EQ(c.activityLog.entries().front().text, "line 10");
    int cleared = 0;
    c.activityLog.onClear = [&] { ++cleared; };
    c.activityLog.clear();
    EXPECT_TRUE(c.activityLog.entries().empty());
    EXPECT_EQ(cleared, 1);
}

// --- ssh's words about its forward --------------------------------------------------------

TEST_F(Diagnostics, AReverseForwardTheServerRefusedIsMarkedWithoutChangingItsStatus) {
    add("home", "2222", "reverse");
    auto child = start(0);
    f.runLoop.advance(3.0);
    child->write("Warning: remote port forwarding failed for listen port 22220\n");
    read();
    EXPECT_EQ(tunnel(0).warning(), ""); // another port
    child->write("Warning: remote port forwarding failed for listen port 2222\n");
    read();
    EXPECT_EQ(tunnel(0).warning(), "the server refused to listen on port 2222; see the log");
    EXPECT_EQ(statusImage(0), image::Caution);
    EXPECT_EQ(c.theServiceList->at(0).status, "Running...");
    EXPECT_EQ(f.ui.serviceList.rows.at(0).status.text(), "Running...");
    EXPECT_EQ(c.toolTipForRow(&f.ui.serviceList, 0).rfind("the server refused", 0), 0u);
    EXPECT_TRUE(
        f.log.contains("home:2222: the server refused to listen on port 2222; see the log"));

    // A new start begins without the mark.
    f.ui.serviceList.selected = 0;
    c.stopTunnel(nullptr);
    EXPECT_EQ(statusImage(0), "");
    start(0);
    EXPECT_EQ(tunnel(0).warning(), "");
}

// --- ssh cannot take its local port: who holds it ----------------------------------------

TEST_F(Diagnostics, AForwardSshCannotListenOnNamesTheProcessHoldingThePort) {
    const LoopbackPort held(true); // held by this test
    const LoopbackPort free(false);
    const std::string me = std::string(program_invocation_short_name).substr(0, 15) + " (pid " +
                           std::to_string(::getpid()) + ")";
    const struct {
        std::string port, kind, line, warning;
    } cases[] = {
        // ssh's bind line for a SOCKS port: diagnostics_e2e_test, with the real ssh.
        {held.port(), "127.0.0.1:5432",
         "channel_setup_fwd_listener_tcpip: cannot listen to port: " + held.port(),
         "ssh cannot listen on port " + held.port() + ": it is held by " + me + "; see the log"},
        // Nobody listens there (any more): ssh's words alone.
        {free.port(), "SOCKS", "bind [127.0.0.1]:" + free.port() + ": Address already in use",
         "ssh cannot listen on port " + free.port() + "; see the log"},
    };
    childrenAre(kNoProcess);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        add("host" + std::to_string(i), cases[i].port, cases[i].kind);
        auto child = start(static_cast<long>(i));
        f.runLoop.advance(3.0);
        child->write(cases[i].line + "\nCould not request local forwarding.\n");
        read();
        EXPECT_EQ(tunnel(i).warning(), cases[i].warning);
        EXPECT_TRUE(f.log.contains("host" + std::to_string(i) + ":" + cases[i].port + ": " +
                                   cases[i].warning));
        // The look for a listener that follows keeps ssh's more telling words.
        settle(3.0);
        EXPECT_EQ(tunnel(i).warning(), cases[i].warning);
    }
}

// --- The forward check --------------------------------------------------------------------

TEST_F(Diagnostics, AListeningPortIsNotMarkedNorIsAStoppedOrReverseService) {
    LoopbackPort listening(true);
    LoopbackPort bound(false);
    add("db", listening.port(), "127.0.0.1:5432");
    add("home", bound.port(), "reverse");
    add("bastion", bound.port(), "SOCKS");
    childrenAre(::getpid()); // the child listens, through this process
    start(0);
    childrenAre(kNoProcess);
    start(1);
    start(2);
    f.runLoop.advance(3.0);
    f.ui.serviceList.selected = 2;
    c.stopTunnel(nullptr); // stopped before its check ends
    settle(5.0);
    EXPECT_EQ(tunnel(0).warning(), "");
    EXPECT_EQ(tunnel(1).warning(), "");
    EXPECT_EQ(tunnel(2).warning(), "");
}

// The port is looked at when the service turns "Running..." and a second and two seconds later;
// only the child itself (or a process below it) listening there counts: no connection is
// made, so another program that accepts on the port does not hide a forward that is missing.
TEST_F(Diagnostics, AForwardItsChildDoesNotListenOnIsMarkedAfterTheLastLook) {
    LoopbackPort taken(true); // by this test, not by the child
    LoopbackPort late(false);
    add("bastion", taken.port(), "SOCKS");
    add("db", late.port(), "127.0.0.1:5432");
    childrenAre(kNoProcess);
    start(0);
    childrenAre(::getpid()); // this child listens, from its third look on
    start(1);
    f.runLoop.advance(3.0); // "Running...": the first look
    f.runLoop.advance(1.5); // the second
    EXPECT_EQ(tunnel(0).warning(), "");
    late.listen();
    f.runLoop.advance(1.0); // the third
    EXPECT_EQ(tunnel(0).warning(),
              "nothing accepts connections on port " + taken.port() + "; see the log");
    EXPECT_EQ(statusImage(0), image::Caution);
    EXPECT_TRUE(f.log.contains("bastion:" + taken.port() +
                               ": nothing accepts connections on port " + taken.port() +
                               "; see the log"));
    EXPECT_EQ(tunnel(1).warning(), "");
    EXPECT_EQ(statusImage(1), "");
}

// --- A server ssh has no key of: trusting it from the failure alert ------------------------

TEST_F(Diagnostics, OnlyAServerSshKnowsNoKeyOfIsOfferedForTrustAndOnlyAfterAUsersStart) {
    const std::string failed = "Host key verification failed.\n";
    const std::string banner = "@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@\n";
    const struct {
        const char* name;
        std::string output;
        bool offered;
        std::vector<std::string> detailSays;
    } cases[] = {
        // Strict checking and an own command: diagnostics_e2e_test, with the real ssh.
        {"asked without a terminal", failed, true, {}},
        // Not the default file: the command names it.
        {"changed",
         banner + "@    WARNING: REMOTE HOST IDENTIFICATION HAS CHANGED!     @\n" + banner +
             "Offending ED25519 key in /keys/known_hosts:3\n"
             "  ssh-keygen -f \"/keys/known_hosts\" -R \"db-alias\"\n" + failed,
         false,
         {"The old ED25519 key is line 3 of /keys/known_hosts.",
          "    ssh-keygen -f \"/keys/known_hosts\" -R \"db-alias\"\n"}},
        {"revoked",
         banner + "@       WARNING: REVOKED HOST KEY DETECTED!               @\n" + failed,
         false,
         {}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        add("db" + std::to_string(i), "5432", "127.0.0.1:5432");
        auto child = start(static_cast<long>(i));
        child->write(cases[i].output);
        child->exit(255);
        f.runLoop.advance(3.0);
        ASSERT_EQ(f.ui.mainWindow.alerts.size(), i + 1);
        const Alert& alert = f.ui.mainWindow.alerts.back();
        EXPECT_EQ(alert.informativeText, kFailedAlert);
        EXPECT_EQ(alert.otherButtonTitle, cases[i].offered ? QuillboreDel::kTrustButton : "");
        EXPECT_EQ(static_cast<bool>(alert.otherAction), cases[i].offered);
        for (const std::string& words : cases[i].detailSays)
            EXPECT_NE(alert.detailText.find(words), std::string::npos) << alert.detailText;
    }

    // A restart of a service that was up is no user's start: an outage alert, no offer.
    c.recon = true;
    add("bastion", "1080", "SOCKS");
    auto up = start(static_cast<long>(std::size(cases)));
    f.runLoop.advance(3.0);
    f.launcher.onLaunch = [](FakeChild& child) {
        child.write("Host key verification failed.\n");
        child.exit(255);
    };
    up->exit(255);
    f.runLoop.advance(4.0);
    ASSERT_EQ(f.ui.mainWindow.alerts.size(), std::size(cases) + 1);
    EXPECT_EQ(f.ui.mainWindow.alerts.back().otherButtonTitle, "");
}

// The keys are fetched while the window stays live; a server that does not answer ends the
// fetch after its time with a message, its child ended, and nothing is written.
TEST_F(Diagnostics, AFetchOfTheServersKeyThatGetsNoAnswerEndsInTimeWithAMessage) {
    add("db", "5432", "127.0.0.1:5432");
    auto child = start(0);
    child->write("Host key verification failed.\n");
    child->exit(255);
    f.runLoop.advance(3.0);
    f.ui.mainWindow.pressOther();
    auto fetch = f.launcher.last();
    ASSERT_NE(fetch, child);
    EXPECT_EQ(fetch->arguments, (std::vector<std::string>{"-G", tunnel(0).userName() + "@db"}));
    c.trustServer(c.serviceAt(0)); // pressed again while on its way: the same fetch

    f.runLoop.advance(HostKeyFetch::kTimeLimitSeconds - 0.5);
    EXPECT_EQ(f.ui.mainWindow.shownAlert(), nullptr);
    EXPECT_EQ(f.launcher.last(), fetch);
    f.runLoop.advance(1.0);
    ASSERT_NE(f.ui.mainWindow.shownAlert(), nullptr);
    EXPECT_EQ(f.ui.mainWindow.shownAlert()->informativeText,
              "The server's host key could not be fetched: no answer within 15 seconds.");
    EXPECT_FALSE(fetch->signals.empty());
}

TEST_F(Diagnostics, TrustedKeysAreAddedAfterWhatTheKnownHostsFileHeldKeepingItsMode) {
    const std::string folder = ControllerFixture::home() + "/keys-" + std::to_string(::getpid());
    const std::string file = folder + "/known_hosts";
    const std::string line = "[db]:2222 ssh-ed25519 AAAAC3Nza\n";
    auto modeOf = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };

    // None yet: the folder is made owner-only, the file too.
    ASSERT_TRUE(hostkeys::appendLines(file, line));
    EXPECT_EQ(files::readWhole(file), line);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);

    // One that others may read, its last line unended: the line is ended, the mode kept.
    ASSERT_TRUE(files::writeAtomically(file, "old.example ssh-rsa AAAAB3"));
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    ASSERT_TRUE(hostkeys::appendLines(file, line));
    EXPECT_EQ(files::readWhole(file), "old.example ssh-rsa AAAAB3\n" + line);
    EXPECT_EQ(modeOf(file), 0644u);
    std::filesystem::remove_all(folder);
}

} // namespace
