// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Read-only looks at /proc: who is whose child, in which state, with how many open files.
namespace proctable {

struct Entry {
    pid_t pid = 0;
    pid_t parent = 0;
    char state = '?';    // R, S, D, Z, T, ...
    std::string command; // the comm name, e.g. "ssh"
};

std::optional<Entry> lookup(pid_t pid);
std::vector<Entry> childrenOf(pid_t parent);
std::vector<Entry> zombieChildrenOf(pid_t parent);
// Gone, or ended and waiting only to be reaped by someone else.
bool hasEnded(pid_t pid);
// Open file descriptors of `pid` (-1 when unreadable).
int openFileCount(pid_t pid);
// The command line, arguments joined by single blanks.
std::string commandLine(pid_t pid);

} // namespace proctable
