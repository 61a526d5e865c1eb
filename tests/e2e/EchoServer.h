// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <thread>

// Listens on 127.0.0.1 (a port of the kernel's choosing) and sends every byte back, on a
// thread of its own, until destroyed. At most kMaxClients connections are served at once.
class EchoServer {
public:
    static constexpr int kMaxClients = 256;

    EchoServer();
    ~EchoServer();
    EchoServer(const EchoServer&) = delete;
    EchoServer& operator=(const EchoServer&) = delete;

    int port() const { return port_; }
    long connectionsAccepted() const { return accepted_.load(); }

private:
    void serve();

    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<long> accepted_{0};
    std::thread thread_;
};
