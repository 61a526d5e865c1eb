// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

// Plain TCP on 127.0.0.1 for the e2e tests: never any other address.
namespace loopback {

// A port that nothing listens on right now (the kernel's pick for a socket bound to port 0).
int freePort();

// An owned socket descriptor, closed with the object.
class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    Socket(Socket&& other) noexcept : fd_(other.release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket();
    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();

private:
    int fd_ = -1;
};

// Connects to 127.0.0.1:port with a time limit for the connect and for every later read and
// write. Invalid on failure, with the reason in `why`.
Socket connectTo(int port, double timeoutSeconds, std::string* why = nullptr);

// True when a connection to 127.0.0.1:port is refused (nobody listens).
bool refusesConnections(int port);

// SOCKS5 without authentication: CONNECT to 127.0.0.1:targetPort over an open socket.
bool socks5Connect(const Socket& socket, int targetPort, std::string* why = nullptr);

// Sends `bytes` of a varied pattern and reads them back unchanged.
bool echoRoundTrip(const Socket& socket, std::size_t bytes, std::string* why = nullptr);

// One attempt each: connect, (SOCKS5 CONNECT,) and an echo round trip.
bool echoesThrough(int port, std::size_t bytes, std::string* why = nullptr);
bool echoesThroughSocks(int socksPort, int echoPort, std::size_t bytes, std::string* why = nullptr);

} // namespace loopback
