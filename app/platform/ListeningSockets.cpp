// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ListeningSockets.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <map>
#include <netinet/in.h>
#include <sstream>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* kListen = "0A";
constexpr unsigned kTcpListen = 10; // the kernel's TCP_LISTEN, "0A" in /proc/net/tcp

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Adds the listening TCP sockets of `family` on `port`, as sock_diag reports them. False when
// the kernel could not be asked. The kernel looks through its listening sockets only, while a
// read of /proc/net/tcp walks its whole table of connections: on a machine with a large one,
// milliseconds for each of the three looks of every start.
bool listenersOf(int netlink, int family, int port,
                 std::vector<ListeningSockets::Socket>& sockets) {
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.request.sdiag_family = static_cast<__u8>(family);
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = 1u << kTcpListen;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(netlink, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) != static_cast<ssize_t>(sizeof message))
        return false;
    alignas(nlmsghdr) char buffer[32768];
    for (;;) {
        const ssize_t n = ::recv(netlink, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        int left = static_cast<int>(n);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left);
             h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE) return true;
            if (h->nlmsg_type == NLMSG_ERROR) return false;
            if (h->nlmsg_type != SOCK_DIAG_BY_FAMILY) continue;
            const auto* socket = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
            if (ntohs(socket->id.idiag_sport) == port && socket->idiag_inode != 0)
                sockets.push_back({socket->idiag_inode, static_cast<uid_t>(socket->idiag_uid)});
        }
    }
}

// The numeric names in `folder`: the processes of a /proc.
std::vector<pid_t> numericEntries(const std::string& folder) {
    std::vector<pid_t> pids;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return pids;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name.size() > 9 ||
            !std::all_of(name.begin(), name.end(), [](char c) { return std::isdigit(c); }))
            continue;
        pids.push_back(static_cast<pid_t>(std::stol(name)));
    }
    ::closedir(dir);
    return pids;
}

bool sharesAny(const std::vector<unsigned long>& held,
               const std::vector<ListeningSockets::Socket>& sockets) {
    for (unsigned long inode : held)
        for (const auto& socket : sockets)
            if (socket.inode == inode) return true;
    return false;
}

} // namespace

ListeningSockets::ListeningSockets(std::string procRoot) : root_(std::move(procRoot)) {}

// A line of /proc/net/tcp{,6}:
//   sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
// with the local address as HEXADDR:HEXPORT.
std::vector<ListeningSockets::Socket> ListeningSockets::on(int port) const {
    std::vector<Socket> sockets;
    if (root_ == "/proc") {
        const Descriptor netlink(
            ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
        // A kernel without IPv6 answers the second with an error: its sockets are all in the first.
        if (netlink.get() >= 0 && listenersOf(netlink.get(), AF_INET, port, sockets)) {
            listenersOf(netlink.get(), AF_INET6, port, sockets);
            return sockets;
        }
        sockets.clear();
    }
    for (const char* table : {"/net/tcp", "/net/tcp6"}) {
        std::ifstream in(root_ + table);
        std::string line;
        std::getline(in, line); // the heading
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits;
            unsigned long uid = 0, timeout = 0, inode = 0;
            if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >>
                  uid >> timeout >> inode))
                continue;
            const std::size_t colon = local.rfind(':');
            if (state != kListen || colon == std::string::npos || inode == 0) continue;
            char* end = nullptr;
            const unsigned long localPort = std::strtoul(local.c_str() + colon + 1, &end, 16);
            if (*end != '\0' || localPort != static_cast<unsigned long>(port)) continue;
            sockets.push_back({inode, static_cast<uid_t>(uid)});
        }
    }
    return sockets;
}

bool ListeningSockets::heldBy(pid_t pid, int port) const {
    if (pid <= 0) return false;
    const std::vector<Socket> sockets = on(port);
    if (sockets.empty()) return false;
    // The child itself first: the process table is read only when it does not hold the port.
    if (sharesAny(socketInodes(pid), sockets)) return true;
    for (pid_t member : family(pid))
        if (member != pid && sharesAny(socketInodes(member), sockets)) return true;
    return false;
}

std::optional<ListeningSockets::Holder> ListeningSockets::holderOf(int port, pid_t except) const {
    std::vector<Socket> sockets = on(port);
    std::vector<pid_t> excluded;
    if (except > 0 && !sockets.empty()) excluded = family(except);
    for (pid_t pid : excluded) {
        const std::vector<unsigned long> held = socketInodes(pid);
        std::erase_if(sockets, [&](const Socket& s) {
            return std::find(held.begin(), held.end(), s.inode) != held.end();
        });
    }
    if (sockets.empty()) return std::nullopt;
    const uid_t me = ::geteuid();
    const bool mayBeNamed = me == 0 || std::any_of(sockets.begin(), sockets.end(),
                                                   [&](const Socket& s) { return s.uid == me; });
    if (mayBeNamed) {
        for (pid_t pid : processes()) {
            if (std::find(excluded.begin(), excluded.end(), pid) != excluded.end()) continue;
            if (sharesAny(socketInodes(pid), sockets)) return Holder{pid, command(pid)};
        }
    }
    return Holder{};
}

std::vector<unsigned long> ListeningSockets::socketInodes(pid_t pid) const {
    std::vector<unsigned long> inodes;
    const std::string folder = root_ + "/" + std::to_string(pid) + "/fd";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return inodes; // ended, or another account's
    constexpr std::string_view kPrefix = "socket:[";
    char target[64];
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const ssize_t n = ::readlinkat(::dirfd(dir), entry->d_name, target, sizeof target - 1);
        if (n <= static_cast<ssize_t>(kPrefix.size())) continue;
        const std::string_view link(target, static_cast<std::size_t>(n));
        if (!link.starts_with(kPrefix)) continue;
        inodes.push_back(std::strtoul(target + kPrefix.size(), nullptr, 10));
    }
    ::closedir(dir);
    return inodes;
}

std::vector<pid_t> ListeningSockets::family(pid_t pid) const {
    std::multimap<pid_t, pid_t> children;
    for (pid_t p : processes()) {
        std::ifstream in(root_ + "/" + std::to_string(p) + "/stat");
        std::string stat;
        std::getline(in, stat);
        // "pid (comm) state ppid ...": the command may hold blanks and parentheses.
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        long parent = 0;
        if (rest >> state >> parent) children.emplace(static_cast<pid_t>(parent), p);
    }
    std::vector<pid_t> members{pid};
    for (std::size_t i = 0; i < members.size(); ++i) {
        const auto [first, last] = children.equal_range(members[i]);
        for (auto it = first; it != last; ++it)
            if (std::find(members.begin(), members.end(), it->second) == members.end())
                members.push_back(it->second);
    }
    return members;
}

std::vector<pid_t> ListeningSockets::processes() const {
    return numericEntries(root_);
}

std::string ListeningSockets::command(pid_t pid) const {
    std::ifstream in(root_ + "/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F) c = '?';
    }
    return name;
}
