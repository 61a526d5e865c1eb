// SPDX-License-Identifier: GPL-3.0-or-later
// qb-bench-real: the measurements that need real ssh, for bench/run. A test sshd on
// 127.0.0.1, an echo server behind it, a private ssh-agent; then, one after the other:
//   supervise  the real application (qb-bench-app under Xvfb) with N local forwards through
//              the sshd: footprint, CPU and wake-ups shown / hidden / minimized; the bare Qt
//              window's footprint; N autossh doing the same, footprint, CPU and wake-ups
//   react      one tunnel, its ssh killed K times: time until a connection through the
//              tunnel carries bytes again, for the application and for autossh
// Run under tests/support/with-test-home with DISPLAY set; BENCH_XVFB_PID names the X
// server. Prints key=value lines. Everything stays on 127.0.0.1.
//
//   qb-bench-real N WINDOW_SECONDS SETTLE_SECONDS KILLS
#include "Driven.h"
#include "EchoServer.h"
#include "HomeFiles.h"
#include "Loopback.h"
#include "ProcStats.h"
#include "SshAgent.h"
#include "Subprocess.h"
#include "TestSshd.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace bench;

void printFootprint(const std::string& prefix, const std::vector<pid_t>& pids) {
    std::printf("%s_distinct_kib=%ld\n%s_pss_kib=%ld\n", prefix.c_str(),
                procstats::distinctKiB(pids), prefix.c_str(), procstats::pssKiB(pids));
}

std::vector<pid_t> withChildren(const std::vector<pid_t>& parents) {
    std::vector<pid_t> all = parents;
    for (pid_t p : parents)
        for (pid_t c : procstats::childrenOf(p, "ssh"))
            all.push_back(c);
    return all;
}

std::vector<int> freePorts(int n) {
    std::set<int> taken;
    std::vector<int> ports;
    while (static_cast<int>(ports.size()) < n) {
        const int p = loopback::freePort();
        if (taken.insert(p).second) ports.push_back(p);
    }
    return ports;
}

// The application's check timing (CheckTimes), one key=value per line.
void printTiming(const std::string& prefix, Driven& app) {
    for (std::string line = app.ask("timing"); !line.empty() && line != "end";
         line = app.readLine()) {
        std::istringstream words(line);
        for (std::string word; words >> word;)
            std::printf("%s%s\n", prefix.c_str(), word.c_str());
    }
}

// autossh processes, ended (SIGTERM, which ends their ssh too) and reaped with the object.
struct AutosshGroup {
    std::vector<pid_t> pids;
    AutosshGroup() = default;
    AutosshGroup(const AutosshGroup&) = delete;
    AutosshGroup& operator=(const AutosshGroup&) = delete;
    ~AutosshGroup() {
        for (pid_t p : pids)
            ::kill(p, SIGTERM);
        for (pid_t p : pids)
            ::waitpid(p, nullptr, 0);
    }
};

struct Bench {
    std::string bin;
    pid_t xvfb = 0;
    TestSshd& server;
    EchoServer& echo;
    SshAgent& agent;

    std::string destination() const {
        return std::string(TestSshd::kUser) + "@" + TestSshd::kKeyHost;
    }
    std::string forwardOf(int port) const {
        return std::to_string(port) + ":127.0.0.1:" + std::to_string(echo.port());
    }

    void writeHomeFiles(const std::vector<int>& ports) {
        std::vector<homefiles::Service> list;
        for (int p : ports)
            list.push_back({TestSshd::kKeyHost, std::to_string(p), TestSshd::kUser, "",
                            "127.0.0.1:" + std::to_string(echo.port())});
        homefiles::Preferences prefs;
        prefs.reconnect = true;
        prefs.keyFiles = {server.clientKeyPath() + ":" + TestSshd::kKeyPassphrase};
        homefiles::writePreferences(prefs);
        homefiles::writeServiceList(list);
    }

    // The key in the agent, for autossh's ssh (the application loads it itself and unloads
    // every key when it ends).
    void loadKey() {
        auto r =
            subprocess::run({"/usr/bin/ssh-add", server.clientKeyPath()}, subprocess::Env::Inherit,
                            std::string(TestSshd::kKeyPassphrase) + "\n");
        if (r.exitCode != 0) throw std::runtime_error("ssh-add failed: " + r.output);
    }

    std::unique_ptr<Driven> startApp(long services) {
        auto app =
            std::make_unique<Driven>(std::vector<std::string>{bin + "/qb-bench-app", "serve"});
        if (app->ask("running").rfind("running", 0) != 0)
            throw std::runtime_error("the application did not answer");
        // Without "Keep keys" the idle lock (60 s without use) removes the key from the agent
        // and every later reconnection fails; the lock's own alert says to tick it.
        app->ask("keep-keys");
        // The application loads the key with ssh-add at launch and does not wait for it; a
        // user would press Start a moment later.
        if (!waitUntil([&] { return !agent.keys().empty(); }, 30))
            throw std::runtime_error("the application did not load the key into the agent");
        app->ask("start-all");
        if (!waitUntil([&] { return app->ask("running") == "running " + std::to_string(services); },
                       180, 1.0))
            throw std::runtime_error("not every service came up: " + app->ask("running"));
        return app;
    }

    void startAutossh(const std::vector<int>& ports, AutosshGroup& group) {
        std::vector<pid_t>& pids = group.pids;
        for (int port : ports) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::setenv("AUTOSSH_GATETIME", "0", 1);
                ::setenv("AUTOSSH_PATH", "/usr/bin/ssh", 1);
                const int devnull = ::open("/dev/null", O_RDWR);
                ::dup2(devnull, STDIN_FILENO);
                ::dup2(devnull, STDOUT_FILENO);
                ::execlp("autossh", "autossh", "-M", "0", "-N", "-L", forwardOf(port).c_str(),
                         destination().c_str(), static_cast<char*>(nullptr));
                ::_exit(127);
            }
            pids.push_back(pid);
        }
    }

    bool allEcho(const std::vector<int>& ports) {
        for (int p : ports)
            if (!loopback::echoesThrough(p, 64)) return false;
        return true;
    }

    void supervise(int n, double window, double settle) {
        const std::vector<int> ports = freePorts(n);
        writeHomeFiles(ports);

        progress("application: starting %s tunnels", std::to_string(n));
        auto app = startApp(n);
        if (!waitUntil([&] { return allEcho(ports); }, 60, 1.0))
            throw std::runtime_error("the application's tunnels do not carry bytes");
        std::printf("app_services=%d\n", n);
        progress("application: settling %s s", std::to_string(settle));
        sleepFor(settle);
        printFootprint("app", {app->pid()});
        const auto appAndSsh = withChildren({app->pid()});
        std::printf("app_ssh_children=%zu\n", appAndSsh.size() - 1);
        printFootprint("app_with_ssh", appAndSsh);

        const std::vector<std::vector<pid_t>> groups{{app->pid()}, {xvfb}};
        for (const char* state : {"shown", "hidden", "minimized"}) {
            if (std::string(state) == "hidden") app->ask("hide");
            if (std::string(state) == "minimized") app->ask("minimize");
            sleepFor(2);
            progress("application: %s", state);
            const auto cost = costOver(groups, window);
            printCost(std::string("app_") + state, cost[0]);
            printCost(std::string("xvfb_") + state, cost[1]);
        }
        app->ask("show");
        std::printf("app_running_at_end=%s\n", app->ask("running").c_str() + 8);
        printTiming("supervise_", *app);
        app->end();

        progress("bare Qt window");
        {
            Driven bare({bin + "/qb-bench-bare", "serve"});
            sleepFor(3);
            printFootprint("bare", {bare.pid()});
        }

        progress("autossh: starting %s tunnels", std::to_string(n));
        loadKey();
        AutosshGroup group;
        startAutossh(ports, group);
        const std::vector<pid_t>& autossh = group.pids;
        if (!waitUntil([&] { return allEcho(ports); }, 240, 1.0))
            throw std::runtime_error("autossh's tunnels do not carry bytes");
        sleepFor(settle / 5);
        printFootprint("autossh", autossh);
        printFootprint("autossh_with_ssh", withChildren(autossh));
        progress("autossh: running");
        printCost("autossh", costOver({autossh}, window)[0]);
    }

    // Kills the tunnel's ssh `kills` times, each at a random moment `earliest` to
    // `earliest` + 1 s after the tunnel last came back, and times until a connection through
    // the tunnel carries bytes again.
    std::vector<double> killAndTime(int kills, int port, const std::function<pid_t()>& child,
                                    double earliest, unsigned seed = 42) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> phase(earliest, earliest + 1.0);
        std::vector<double> ms;
        for (int k = 0; k < kills; ++k) {
            sleepFor(phase(random));
            if (!waitUntil([&] { return loopback::echoesThrough(port, 64); }, 20, 0.05))
                throw std::runtime_error("the tunnel does not carry bytes before a kill");
            const pid_t victim = child();
            if (victim <= 0) throw std::runtime_error("no ssh child to kill");
            const auto killed = Clock::now();
            ::kill(victim, SIGKILL);
            const bool back =
                waitUntil([&] { return loopback::echoesThrough(port, 64); }, 30, 0.005);
            ms.push_back(back ? since(killed) * 1000 : 1e9);
        }
        return ms;
    }

    static void printSpread(const std::string& prefix, std::vector<double> ms, double bound) {
        std::sort(ms.begin(), ms.end());
        const long over = std::count_if(ms.begin(), ms.end(), [&](double m) { return m > bound; });
        std::printf("%s_kills=%zu\n%s_min_ms=%.0f\n%s_median_ms=%.0f\n%s_p90_ms=%.0f\n"
                    "%s_max_ms=%.0f\n%s_over_bound=%ld\n",
                    prefix.c_str(), ms.size(), prefix.c_str(), ms.front(), prefix.c_str(),
                    ms[ms.size() / 2], prefix.c_str(), ms[ms.size() * 9 / 10], prefix.c_str(),
                    ms.back(), prefix.c_str(), over);
    }

    void react(int kills) {
        const int port = freePorts(1)[0];
        writeHomeFiles({port});
        progress("reaction: application, %s kills", std::to_string(kills));
        auto app = startApp(1);
        const pid_t appPid = app->pid();
        auto appMs = killAndTime(
            kills, port,
            [&] {
                auto c = procstats::childrenOf(appPid, "ssh");
                return c.empty() ? pid_t{0} : c.front();
            },
            3.3); // past the first status check of the restart, 3 s after it
        printTiming("react_", *app);
        app->end();
        printSpread("react_app", appMs, 1300);

        // autossh backs off when restarts follow each other quickly (its manual), so every
        // kill gets a fresh autossh: what is timed is its immediate restart, its best case.
        progress("reaction: autossh, %s kills", std::to_string(kills));
        loadKey();
        std::vector<double> asMs;
        for (int k = 0; k < kills; ++k) {
            AutosshGroup group;
            startAutossh({port}, group);
            const pid_t autossh = group.pids[0];
            auto one = killAndTime(
                1, port,
                [&] {
                    auto c = procstats::childrenOf(autossh, "ssh");
                    return c.empty() ? pid_t{0} : c.front();
                },
                1.0, 42 + static_cast<unsigned>(k));
            asMs.push_back(one[0]);
        }
        printSpread("react_autossh", asMs, 1300);
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: qb-bench-real N WINDOW_SECONDS SETTLE_SECONDS KILLS\n");
        return 2;
    }
    if (auto reason = TestSshd::unavailableReason()) {
        std::fprintf(stderr, "qb-bench-real: cannot run: %s\n", reason->c_str());
        return 77;
    }
    std::signal(SIGPIPE, SIG_IGN);
    // ssh-add (the application's and ours) reads the key's passphrase from its standard
    // input, not from an askpass program that DISPLAY would otherwise select.
    ::setenv("SSH_ASKPASS_REQUIRE", "never", 1);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const char* xvfb = std::getenv("BENCH_XVFB_PID");
    if (!xvfb || !std::getenv("DISPLAY")) {
        std::fprintf(stderr, "qb-bench-real: needs DISPLAY and BENCH_XVFB_PID\n");
        return 2;
    }
    try {
        SshAgent agent(std::string(std::getenv("QB_TEST_ROOT")) + "/agent.sock");
        agent.exportSocket();
        TestSshd server;
        EchoServer echo;
        Bench bench{QB_BENCH_BIN_DIR, static_cast<pid_t>(std::atoi(xvfb)), server, echo, agent};
        bench.supervise(std::atoi(argv[1]), std::atof(argv[2]), std::atof(argv[3]));
        bench.react(std::atoi(argv[4]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qb-bench-real: %s\n", e.what());
        return 1;
    }
    return 0;
}
