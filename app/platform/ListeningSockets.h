// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Which processes listen on a local TCP port, as the kernel tells it: the listening TCP
// sockets (IPv4 and IPv6) on the port, matched by inode against the "socket:[inode]" links in
// /proc/<pid>/fd. The sockets come from the kernel's sock_diag interface, or, where that cannot
// be asked (and for a made-up /proc), from /proc/net/tcp and /proc/net/tcp6 (state 0A). No
// connection is opened. Only the processes whose descriptor tables we may read (our own, or all
// as root) can be named. Where there is no /proc the answers are empty.
class ListeningSockets {
public:
    struct Socket {
        unsigned long inode = 0;
        uid_t uid = 0; // the account that opened it
    };
    struct Holder {
        pid_t pid = 0;       // 0: another account holds it (it cannot be told which process)
        std::string command; // its /proc/<pid>/comm, control characters shown as "?"
    };

    // `procRoot` is "/proc" but for tests.
    explicit ListeningSockets(std::string procRoot = "/proc");

    // The listening TCP sockets (IPv4 and IPv6) on `port`.
    std::vector<Socket> on(int port) const;
    // True when `pid` or one of its descendants holds a listening socket on `port`.
    bool heldBy(pid_t pid, int port) const;
    // Who holds a listening socket on `port`, `except` and its descendants left out (0: none
    // left out); nothing when no other socket listens there. A process that can be named is
    // preferred to "another account".
    std::optional<Holder> holderOf(int port, pid_t except = 0) const;

private:
    std::vector<unsigned long> socketInodes(pid_t pid) const;
    // `pid` and every process below it, `pid` first.
    std::vector<pid_t> family(pid_t pid) const;
    std::vector<pid_t> processes() const;
    std::string command(pid_t pid) const;

    std::string root_;
};
