// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProcessTable.h"

#include "platform/Files.h"

#include <cstdlib>
#include <dirent.h>
#include <sstream>
#include <unistd.h>

namespace proctable {

// A process may end and be reaped between the open and the read of its /proc file; plain
// read() then fails with ESRCH and we see nothing, where a stream would throw.
std::optional<Entry> lookup(pid_t pid) {
    auto stat = files::readWhole("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return std::nullopt;
    const std::string line = stat->substr(0, stat->find('\n'));
    // "pid (comm) state ppid ...": comm may hold blanks and parentheses, so cut at the last ')'.
    auto open = line.find('(');
    auto close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 2 >= line.size())
        return std::nullopt;
    Entry e;
    e.pid = pid;
    e.command = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 2));
    long parent = 0;
    rest >> e.state >> parent;
    e.parent = static_cast<pid_t>(parent);
    return e;
}

std::vector<Entry> childrenOf(pid_t parent) {
    std::vector<Entry> out;
    DIR* dir = ::opendir("/proc");
    if (!dir) return out;
    while (dirent* d = ::readdir(dir)) {
        char* end = nullptr;
        long pid = std::strtol(d->d_name, &end, 10);
        if (*end != '\0' || pid <= 0) continue;
        if (auto e = lookup(static_cast<pid_t>(pid)); e && e->parent == parent) out.push_back(*e);
    }
    ::closedir(dir);
    return out;
}

std::vector<Entry> zombieChildrenOf(pid_t parent) {
    std::vector<Entry> out;
    for (const auto& e : childrenOf(parent))
        if (e.state == 'Z') out.push_back(e);
    return out;
}

bool hasEnded(pid_t pid) {
    auto e = lookup(pid);
    return !e || e->state == 'Z' || e->state == 'X';
}

int openFileCount(pid_t pid) {
    DIR* dir = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (!dir) return -1;
    int count = 0;
    while (dirent* d = ::readdir(dir))
        if (d->d_name[0] != '.') ++count;
    ::closedir(dir);
    // Reading our own table shows the directory stream's descriptor too.
    return pid == ::getpid() ? count - 1 : count;
}

std::string commandLine(pid_t pid) {
    std::string raw = files::readWhole("/proc/" + std::to_string(pid) + "/cmdline").value_or("");
    while (!raw.empty() && raw.back() == '\0')
        raw.pop_back();
    for (char& c : raw)
        if (c == '\0') c = ' ';
    return raw;
}

} // namespace proctable
