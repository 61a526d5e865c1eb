// SPDX-License-Identifier: GPL-3.0-or-later
#include "Loopback.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace loopback {
namespace {

constexpr double kIoTimeout = 5;

sockaddr_in loopbackAddress(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

bool fail(std::string* why, const std::string& what) {
    if (why) *why = what + (errno ? std::string(": ") + std::strerror(errno) : std::string());
    return false;
}

bool sendAll(int fd, const char* data, std::size_t size, std::string* why) {
    while (size > 0) {
        errno = 0;
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(why, "send");
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool receiveAll(int fd, char* data, std::size_t size, std::string* why) {
    while (size > 0) {
        errno = 0;
        ssize_t n = ::recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) return fail(why, "connection closed by the far end");
        if (n < 0) return fail(why, "recv");
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void setTimeouts(int fd, double seconds) {
    timeval tv{};
    tv.tv_sec = static_cast<long>(seconds);
    tv.tv_usec = static_cast<long>((seconds - static_cast<double>(tv.tv_sec)) * 1e6);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

} // namespace

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

Socket::~Socket() {
    if (fd_ >= 0) ::close(fd_);
}

int Socket::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

int freePort() {
    Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = loopbackAddress(0);
    if (::bind(s.fd(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
    socklen_t len = sizeof a;
    if (::getsockname(s.fd(), reinterpret_cast<sockaddr*>(&a), &len) != 0) return -1;
    return ntohs(a.sin_port);
}

Socket connectTo(int port, double timeoutSeconds, std::string* why) {
    Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!s.valid()) {
        fail(why, "socket");
        return {};
    }
    sockaddr_in a = loopbackAddress(port);
    errno = 0;
    if (::connect(s.fd(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (errno != EINPROGRESS) {
            fail(why, "connect to 127.0.0.1:" + std::to_string(port));
            return {};
        }
        pollfd p{s.fd(), POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(timeoutSeconds * 1000)) != 1) {
            errno = ETIMEDOUT;
            fail(why, "connect to 127.0.0.1:" + std::to_string(port));
            return {};
        }
        int error = 0;
        socklen_t len = sizeof error;
        ::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &error, &len);
        if (error != 0) {
            errno = error;
            fail(why, "connect to 127.0.0.1:" + std::to_string(port));
            return {};
        }
    }
    ::fcntl(s.fd(), F_SETFL, ::fcntl(s.fd(), F_GETFL) & ~O_NONBLOCK);
    setTimeouts(s.fd(), timeoutSeconds);
    return s;
}

bool refusesConnections(int port) {
    Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = loopbackAddress(port);
    return ::connect(s.fd(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 &&
           errno == ECONNREFUSED;
}

bool socks5Connect(const Socket& socket, int targetPort, std::string* why) {
    const char hello[] = {5, 1, 0}; // version 5, one method: no authentication
    if (!sendAll(socket.fd(), hello, sizeof hello, why)) return false;
    char choice[2];
    if (!receiveAll(socket.fd(), choice, sizeof choice, why)) return false;
    errno = 0;
    if (choice[0] != 5 || choice[1] != 0) return fail(why, "SOCKS5 method refused");

    const uint16_t port = htons(static_cast<uint16_t>(targetPort));
    const uint32_t address = htonl(INADDR_LOOPBACK);
    char request[10] = {5, 1, 0, 1}; // CONNECT, IPv4 address
    std::memcpy(request + 4, &address, 4);
    std::memcpy(request + 8, &port, 2);
    if (!sendAll(socket.fd(), request, sizeof request, why)) return false;
    char reply[10];
    if (!receiveAll(socket.fd(), reply, 4, why)) return false;
    errno = 0;
    if (reply[0] != 5 || reply[1] != 0)
        return fail(why, "SOCKS5 CONNECT refused, reply code " + std::to_string(reply[1]));
    // Skip the bound address: IPv4 (4 bytes) or IPv6 (16), then the port.
    std::size_t rest = (reply[3] == 4 ? 16 : 4) + 2;
    std::vector<char> skip(rest);
    return receiveAll(socket.fd(), skip.data(), rest, why);
}

bool echoRoundTrip(const Socket& socket, std::size_t bytes, std::string* why) {
    std::vector<char> out(bytes), in(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        out[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    // Write and read in slices so neither side's buffers have to hold the whole payload.
    constexpr std::size_t kSlice = 16 * 1024;
    for (std::size_t at = 0; at < bytes; at += kSlice) {
        std::size_t n = std::min(kSlice, bytes - at);
        if (!sendAll(socket.fd(), out.data() + at, n, why)) return false;
        if (!receiveAll(socket.fd(), in.data() + at, n, why)) return false;
    }
    errno = 0;
    if (in != out) return fail(why, "echoed bytes differ from the bytes sent");
    return true;
}

bool echoesThrough(int port, std::size_t bytes, std::string* why) {
    Socket s = connectTo(port, kIoTimeout, why);
    return s.valid() && echoRoundTrip(s, bytes, why);
}

bool echoesThroughSocks(int socksPort, int echoPort, std::size_t bytes, std::string* why) {
    Socket s = connectTo(socksPort, kIoTimeout, why);
    return s.valid() && socks5Connect(s, echoPort, why) && echoRoundTrip(s, bytes, why);
}

} // namespace loopback
