// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// What processes cost, read from /proc, summed over every thread of each process.
namespace procstats {

// Time on a CPU in nanoseconds (schedstat, not the 10 ms ticks of /proc/PID/stat) and context
// switches, voluntary and involuntary (how often the processes were woken or preempted), per
// thread of each process.
struct Usage {
    struct Thread {
        std::int64_t cpuNs = 0;
        std::int64_t switches = 0;
    };
    std::map<std::pair<pid_t, pid_t>, Thread> threads; // (process, thread)
};
Usage usage(const std::vector<pid_t>& pids);

// What happened between two readings: threads that ended meanwhile are left out (what they
// did after `before` is lost), threads that began count from zero.
struct Cost {
    double cpuPercent = 0; // of one core
    double wakeupsPerSecond = 0;
};
Cost costBetween(const Usage& before, const Usage& after, double seconds);

// Proportional set size in KiB (smaps_rollup): each shared page split among its users.
long pssKiB(const std::vector<pid_t>& pids);
// Distinct physical pages mapped by the processes together, in KiB: a page shared by several
// of them (the C library of 100 processes) counts once. Swapped-out pages count each.
// -1 when the page frame numbers cannot be read (they need CAP_SYS_ADMIN).
long distinctKiB(const std::vector<pid_t>& pids);

// Live children (not zombies) of `parent` whose command name is `command` (any when empty).
std::vector<pid_t> childrenOf(pid_t parent, const std::string& command = {});

} // namespace procstats
