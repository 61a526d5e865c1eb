// SPDX-License-Identifier: GPL-3.0-or-later
#include "EchoServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

EchoServer::EchoServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
        ::listen(listenFd_, 64) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
        ::pipe2(wakeFds_, O_CLOEXEC) != 0) {
        if (listenFd_ >= 0) ::close(listenFd_);
        throw std::runtime_error("echo server: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
}

EchoServer::~EchoServer() {
    char byte = 0;
    [[maybe_unused]] ssize_t n = ::write(wakeFds_[1], &byte, 1);
    thread_.join();
    ::close(wakeFds_[0]);
    ::close(wakeFds_[1]);
    ::close(listenFd_);
}

void EchoServer::serve() {
    std::vector<int> clients;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        std::vector<pollfd> watched{{wakeFds_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
        for (int fd : clients)
            watched.push_back({fd, POLLIN, 0});
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (watched[0].revents) break;
        std::vector<int> still;
        if (watched[1].revents & POLLIN) {
            int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0 && static_cast<int>(clients.size()) >= kMaxClients) {
                ::close(fd);
            } else if (fd >= 0) {
                // A peer that stops reading must not stall the other connections for long.
                timeval tv{2, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
                still.push_back(fd);
                ++accepted_;
            }
        }
        for (std::size_t i = 2; i < watched.size(); ++i) {
            int fd = watched[i].fd;
            bool keep = true;
            if (watched[i].revents) {
                ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
                if (n <= 0 && !(n < 0 && errno == EINTR)) keep = false;
                for (ssize_t sent = 0; keep && n > 0 && sent < n;) {
                    ssize_t m = ::send(fd, buffer.data() + sent, static_cast<std::size_t>(n - sent),
                                       MSG_NOSIGNAL);
                    if (m <= 0)
                        keep = false;
                    else
                        sent += m;
                }
            }
            if (keep)
                still.push_back(fd);
            else
                ::close(fd);
        }
        clients.swap(still);
    }
    for (int fd : clients)
        ::close(fd);
}
