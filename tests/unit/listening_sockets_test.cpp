// SPDX-License-Identifier: GPL-3.0-or-later
// Who listens on a port, from /proc: the real tables with sockets this test opens itself, and a
// made-up /proc for the accounts and process trees a test cannot make.
#include "platform/ListeningSockets.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A TCP socket on a loopback port of the kernel's choice (127.0.0.1, or ::1), listening or only
// bound. Port 0 when it could not be made (a machine without IPv6).
struct LoopbackSocket {
    explicit LoopbackSocket(bool listening, int family = AF_INET) {
        fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage a{};
        socklen_t length = sizeof(sockaddr_in);
        if (family == AF_INET6) {
            auto* six = reinterpret_cast<sockaddr_in6*>(&a);
            six->sin6_family = AF_INET6;
            six->sin6_addr = in6addr_loopback;
            length = sizeof(sockaddr_in6);
        } else {
            auto* four = reinterpret_cast<sockaddr_in*>(&a);
            four->sin_family = AF_INET;
            four->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        }
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), length) != 0) return;
        if (listening) ::listen(fd, 4);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        port = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&a)->sin6_port
                                        : reinterpret_cast<sockaddr_in*>(&a)->sin_port);
    }
    ~LoopbackSocket() {
        if (fd >= 0) ::close(fd);
    }
    int fd = -1;
    int port = 0;
};

TEST(ListeningSockets, ThisProcessIsFoundAsTheHolderOfItsListeningSocketAndNoneOfABoundOne) {
    const ListeningSockets proc;
    const LoopbackSocket listening(true);
    const auto found = proc.on(listening.port);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].uid, ::geteuid());
    const auto holder = proc.holderOf(listening.port);
    ASSERT_TRUE(holder.has_value());
    EXPECT_EQ(holder->pid, ::getpid());
    EXPECT_EQ(holder->command, std::string(program_invocation_short_name).substr(0, 15));
    EXPECT_FALSE(proc.holderOf(listening.port, ::getpid()).has_value()) << "left out";
    EXPECT_TRUE(proc.heldBy(::getpid(), listening.port));
    EXPECT_TRUE(proc.heldBy(::getppid(), listening.port)) << "held by a descendant";

    const LoopbackSocket bound(false);
    EXPECT_TRUE(proc.on(bound.port).empty());
    EXPECT_FALSE(proc.holderOf(bound.port).has_value());
    EXPECT_FALSE(proc.heldBy(::getpid(), bound.port));

    // IPv6 sockets are asked for apart from IPv4 ones.
    const LoopbackSocket six(true, AF_INET6);
    if (six.port == 0) return;
    ASSERT_EQ(proc.on(six.port).size(), 1u);
    EXPECT_TRUE(proc.heldBy(::getpid(), six.port));
}

// A made-up /proc: port 8080 (1F90) listened on through inode 777 (IPv4) and 778 (IPv6); the
// same port's connections and other ports' listeners are not counted.
class MadeUpProc : public ::testing::Test {
protected:
    void SetUp() override {
        const char* home = std::getenv("QB_TEST_HOME");
        ASSERT_NE(home, nullptr) << "run under tests/support/with-test-home";
        std::string pattern = std::string(home) + "/proc.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        fs::create_directories(root + "/net");
    }
    void TearDown() override { fs::remove_all(root); }

    void tables(uid_t uid4, uid_t uid6) {
        const std::string heading = "  sl  local_address rem_address   st tx_queue rx_queue tr "
                                    "tm->when retrnsmt   uid  timeout inode\n";
        const auto row = [](const std::string& local, const std::string& state, uid_t uid,
                            int inode) {
            return "   0: " + local + " 00000000:0000 " + state +
                   " 00000000:00000000 00:00000000 00000000 " + std::to_string(uid) + " 0 " +
                   std::to_string(inode) + " 1 0000000000000000 100 0 0 10 0\n";
        };
        std::ofstream(root + "/net/tcp")
            << heading << row("0100007F:1F90", "0A", uid4, 777)
            << row("0100007F:1F90", "01", uid4, 900) << row("0100007F:1F91", "0A", uid4, 901);
        std::ofstream(root + "/net/tcp6")
            << heading << row("00000000000000000000000001000000:1F90", "0A", uid6, 778);
    }

    void process(pid_t pid, pid_t parent, const std::string& comm,
                 const std::vector<int>& socketInodes) {
        const std::string dir = root + "/" + std::to_string(pid);
        fs::create_directories(dir + "/fd");
        std::ofstream(dir + "/stat") << pid << " (" << comm << ") S " << parent << " 1 1 0\n";
        std::ofstream(dir + "/comm") << comm << "\n";
        int fd = 3;
        fs::create_symlink("/dev/null", dir + "/fd/0");
        for (int inode : socketInodes)
            fs::create_symlink("socket:[" + std::to_string(inode) + "]",
                               dir + "/fd/" + std::to_string(fd++));
    }

    std::string root;
};

TEST_F(MadeUpProc, AHolderIsNamedOrElseAnotherAccountHoldsThePort) {
    const uid_t me = ::geteuid();
    tables(me, me);
    process(50, 1, "nginx", {123, 778});
    process(60, 1, "wrap (per)", {});
    process(61, 60, "ssh", {777});
    const ListeningSockets proc(root);

    EXPECT_EQ(proc.on(8080).size(), 2u);
    EXPECT_TRUE(proc.on(8082).empty());
    EXPECT_TRUE(proc.heldBy(61, 8080));
    EXPECT_TRUE(proc.heldBy(60, 8080)) << "through its child";
    EXPECT_FALSE(proc.heldBy(61, 8081));

    auto holder = proc.holderOf(8080, 60); // the wrapper's own ssh left out
    ASSERT_TRUE(holder.has_value());
    EXPECT_EQ(holder->pid, 50);
    EXPECT_EQ(holder->command, "nginx");

    // The IPv6 listener in no descriptor table that we can read: another account's.
    fs::remove_all(root + "/50");
    holder = proc.holderOf(8080, 60);
    ASSERT_TRUE(holder.has_value());
    EXPECT_EQ(holder->pid, 0);
    EXPECT_EQ(holder->command, "");

    // Sockets of another account: its processes are not looked through, unless we are root.
    tables(::geteuid() + 1, ::geteuid() + 1);
    fs::remove_all(root + "/61");
    process(51, 1, "nginx", {777});
    EXPECT_EQ(proc.holderOf(8080).value().pid, ::geteuid() == 0 ? 51 : 0);
}

} // namespace
