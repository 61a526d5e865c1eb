// SPDX-License-Identifier: GPL-3.0-or-later
// Each kind of tunnel, started by the application, carries bytes to a real echo server.
#include "E2eTest.h"
#include "Loopback.h"
#include "Subprocess.h"

namespace {

class TunnelKinds : public E2eTest {};

// The fixture itself: ssh, under the test's account record, reads the Host aliases from the
// record's home and reaches the test sshd with the agent's key. Everything below relies on it.
TEST_F(TunnelKinds, SshFindsTheTestServerThroughTheHomeConfiguration) {
    auto added =
        subprocess::run({"/usr/bin/ssh-add", server().clientKeyPath()}, subprocess::Env::Inherit,
                        std::string(TestSshd::kKeyPassphrase) + "\n");
    ASSERT_EQ(added.exitCode, 0) << added.output;
    auto login = subprocess::run({"/usr/bin/ssh", "-G", TestSshd::kKeyHost});
    EXPECT_NE(login.output.find("port " + std::to_string(server().port())), std::string::npos)
        << "ssh did not apply the Host alias:\n"
        << login.output;
    auto session = subprocess::run(
        {"/usr/bin/ssh", std::string(TestSshd::kUser) + "@" + TestSshd::kKeyHost, "id", "-un"});
    EXPECT_EQ(session.exitCode, 0) << session.output;
    EXPECT_EQ(session.output, std::string(TestSshd::kUser) + "\n");
}

TEST_F(TunnelKinds, SocksLocalAndReverseTunnelsStartedTogetherEachCarryBytes) {
    const int socksPort = loopback::freePort();
    const int localPort = loopback::freePort();
    const int remotePort = loopback::freePort();
    homefiles::writePreferences(keyFilePreferences());
    homefiles::writeServiceList({socksService(TestSshd::kKeyHost, socksPort),
                                 localService(TestSshd::kKeyHost, localPort, echo->port()),
                                 reverseService(TestSshd::kKeyHost, remotePort, echo->port())});
    ASSERT_TRUE(launchWithKeyLoaded());
    ASSERT_EQ(app->rows(), 3u);

    app->start(-1); // no row selected: start all
    for (long row = 0; row < 3; ++row)
        ASSERT_TRUE(app->waitForStatus(row, "Running...", 20))
            << "row " << row << ": " << app->historyText(row);
    EXPECT_EQ(app->ui.statusText.value, "3 Tunneling services are running...");

    std::string why;
    EXPECT_TRUE(echoesThroughSocks(socksPort, 10, &why)) << "SOCKS (-D): " << why;
    EXPECT_TRUE(echoesThrough(localPort, 10, &why)) << "local forward (-L): " << why;
    // The reverse forward listens on the server's loopback, which is this machine's.
    EXPECT_TRUE(echoesThrough(remotePort, 10, &why)) << "reverse forward (-R): " << why;
    EXPECT_GE(echo->connectionsAccepted(), 3);
    EXPECT_EQ(app->alerts(), std::vector<std::string>{});

    app->stop(-1);
    for (long row = 0; row < 3; ++row)
        EXPECT_EQ(app->status(row), "Idle...");
    EXPECT_TRUE(app->runUntil(
        [&] {
            return loopback::refusesConnections(socksPort) &&
                   loopback::refusesConnections(localPort) &&
                   loopback::refusesConnections(remotePort);
        },
        5))
        << "a tunnel port is still open after Stop";
}

// A SOCKS proxy serves several clients at once over its one connection.
TEST_F(TunnelKinds, SocksProxyCarriesConcurrentConnections) {
    const int socksPort = loopback::freePort();
    homefiles::writePreferences(keyFilePreferences());
    homefiles::writeServiceList({socksService(TestSshd::kKeyHost, socksPort)});
    ASSERT_TRUE(launchWithKeyLoaded());
    app->start(0);
    ASSERT_TRUE(app->waitForStatus(0, "Running...", 20)) << app->historyText(0);

    std::string why;
    ASSERT_TRUE(echoesThroughSocks(socksPort, 10, &why)) << why;
    std::vector<loopback::Socket> open;
    for (int i = 0; i < 8; ++i) {
        open.push_back(loopback::connectTo(socksPort, 5, &why));
        ASSERT_TRUE(open.back().valid()) << why;
        ASSERT_TRUE(loopback::socks5Connect(open.back(), echo->port(), &why)) << why;
    }
    for (auto& s : open)
        EXPECT_TRUE(loopback::echoRoundTrip(s, 32 * 1024, &why)) << why;
}

} // namespace
