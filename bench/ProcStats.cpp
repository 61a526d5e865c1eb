// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProcStats.h"

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <unordered_set>

namespace procstats {
namespace {

std::vector<std::string> tasksOf(pid_t pid) {
    std::vector<std::string> out;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') out.push_back(dir + "/" + e->d_name);
        ::closedir(d);
    }
    return out;
}

} // namespace

Usage usage(const std::vector<pid_t>& pids) {
    Usage u;
    for (pid_t pid : pids)
        for (const auto& task : tasksOf(pid)) {
            Usage::Thread t;
            std::ifstream sched(task + "/schedstat");
            if (!(sched >> t.cpuNs)) continue; // ended meanwhile
            std::ifstream status(task + "/status");
            std::string line;
            while (std::getline(status, line))
                if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                    line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                    t.switches += std::atoll(line.c_str() + line.find(':') + 1);
            const pid_t tid = std::atoi(task.c_str() + task.rfind('/') + 1);
            u.threads[{pid, tid}] = t;
        }
    return u;
}

Cost costBetween(const Usage& before, const Usage& after, double seconds) {
    std::int64_t cpu = 0, switches = 0;
    for (const auto& [id, now] : after.threads) {
        auto then = before.threads.find(id);
        const Usage::Thread start = then == before.threads.end() ? Usage::Thread{} : then->second;
        cpu += now.cpuNs - start.cpuNs;
        switches += now.switches - start.switches;
    }
    return {100.0 * static_cast<double>(cpu) / 1e9 / seconds,
            static_cast<double>(switches) / seconds};
}

long pssKiB(const std::vector<pid_t>& pids) {
    long total = 0;
    for (pid_t pid : pids) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("Pss:", 0) == 0) total += std::atol(line.c_str() + 4);
    }
    return total;
}

long distinctKiB(const std::vector<pid_t>& pids) {
    const long page = ::sysconf(_SC_PAGESIZE);
    std::unordered_set<std::uint64_t> frames;
    long swapped = 0;
    bool sawFrame = false, sawPresent = false;
    std::vector<std::uint64_t> entries;
    for (pid_t pid : pids) {
        const std::string base = "/proc/" + std::to_string(pid);
        int fd = ::open((base + "/pagemap").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        std::ifstream maps(base + "/maps");
        std::string line;
        while (std::getline(maps, line)) {
            unsigned long start = 0, end = 0;
            if (std::sscanf(line.c_str(), "%lx-%lx", &start, &end) != 2) continue;
            if (line.find("[vsyscall]") != std::string::npos) continue;
            const std::size_t count = (end - start) / page;
            entries.resize(count);
            const off_t offset = static_cast<off_t>(start / page * sizeof(std::uint64_t));
            const ssize_t got = ::pread(fd, entries.data(), count * sizeof(std::uint64_t), offset);
            for (ssize_t i = 0; i < got / static_cast<ssize_t>(sizeof(std::uint64_t)); ++i) {
                const std::uint64_t e = entries[static_cast<std::size_t>(i)];
                if (e & (1ULL << 63)) {
                    sawPresent = true;
                    const std::uint64_t pfn = e & ((1ULL << 55) - 1);
                    if (pfn) sawFrame = true;
                    frames.insert(pfn);
                } else if (e & (1ULL << 62)) {
                    ++swapped;
                }
            }
        }
        ::close(fd);
    }
    if (sawPresent && !sawFrame) return -1;
    return static_cast<long>((frames.size() + static_cast<std::size_t>(swapped)) * page / 1024);
}

std::vector<pid_t> childrenOf(pid_t parent, const std::string& command) {
    std::vector<pid_t> found;
    DIR* d = ::opendir("/proc");
    if (!d) return found;
    while (dirent* e = ::readdir(d)) {
        const pid_t pid = std::atoi(e->d_name);
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string s;
        if (!std::getline(stat, s)) continue; // gone meanwhile
        const auto open = s.find('('), close = s.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        const std::string comm = s.substr(open + 1, close - open - 1);
        std::istringstream rest(s.substr(close + 2));
        char state = '?';
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && state != 'Z' && (command.empty() || comm == command))
            found.push_back(pid);
    }
    ::closedir(d);
    return found;
}

} // namespace procstats
