// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Driving a benchmarked program through its standard input and output, and reading what it
// costs over a stretch of time (for qb-bench-real and qb-bench-scale).
#include "ProcStats.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}
inline void sleepFor(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}
inline void progress(const char* format, const std::string& what = {}) {
    std::fprintf(stderr, "bench: ");
    std::fprintf(stderr, format, what.c_str());
    std::fprintf(stderr, "\n");
}
inline bool waitUntil(const std::function<bool()>& done, double timeout, double every = 0.1) {
    const auto start = Clock::now();
    while (since(start) < timeout) {
        if (done()) return true;
        sleepFor(every);
    }
    return done();
}

// A program run with pipes on its standard input and output (qb-bench-app, qb-bench-bare).
class Driven {
public:
    explicit Driven(const std::vector<std::string>& argv) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        to_ = in[1];
        from_ = ::fdopen(out[0], "r");
    }
    ~Driven() { end(); }

    pid_t pid() const { return pid_; }

    // Sends one command and returns the first line of the answer ("" when the program ended).
    std::string ask(const std::string& command) {
        const std::string line = command + "\n";
        if (::write(to_, line.data(), line.size()) < 0) return {};
        return readLine();
    }
    std::string readLine() {
        char buffer[512];
        if (!from_ || !std::fgets(buffer, sizeof buffer, from_)) return {};
        std::string s(buffer);
        while (!s.empty() && s.back() == '\n')
            s.pop_back();
        return s;
    }

    // Closes its input (the program quits) and reaps it, killing it after 20 s.
    void end() {
        if (pid_ <= 0) return;
        if (to_ >= 0) ::close(to_);
        to_ = -1;
        int status = 0;
        const auto start = Clock::now();
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (since(start) > 20) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            sleepFor(0.05);
        }
        if (from_) std::fclose(from_);
        from_ = nullptr;
        pid_ = 0;
    }

private:
    pid_t pid_ = 0;
    int to_ = -1;
    FILE* from_ = nullptr;
};

// CPU and wake-ups of each group of processes over the same `seconds`.
using procstats::Cost;

inline std::vector<Cost> costOver(const std::vector<std::vector<pid_t>>& groups, double seconds) {
    std::vector<procstats::Usage> before;
    for (const auto& g : groups)
        before.push_back(procstats::usage(g));
    const auto t0 = Clock::now();
    sleepFor(seconds);
    std::vector<procstats::Usage> after;
    for (const auto& g : groups)
        after.push_back(procstats::usage(g));
    const double wall = since(t0);
    std::vector<Cost> out;
    for (std::size_t i = 0; i < groups.size(); ++i)
        out.push_back(procstats::costBetween(before[i], after[i], wall));
    return out;
}

inline void printCost(const std::string& prefix, const Cost& c) {
    std::printf("%s_cpu_percent=%.4f\n%s_wakeups=%.2f\n", prefix.c_str(), c.cpuPercent,
                prefix.c_str(), c.wakeupsPerSecond);
}

} // namespace bench
