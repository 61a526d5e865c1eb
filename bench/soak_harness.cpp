// SPDX-License-Identifier: GPL-3.0-or-later
// qb-soak: many tunnels against the test sshd while their connections are dropped at random.
// Run it through bench/soak, which builds it and gives it an account record with a temporary
// home. Settings from the environment:
//   SOAK_SECONDS     how long the killer runs (600)
//   SOAK_SERVICES    number of services, a third each SOCKS, local and reverse (50)
//   SOAK_KILL_EVERY  seconds between two dropped connections (2)
//   SOAK_SEED        seed of the random choices (time of day)
// Everything stays on 127.0.0.1. Exits 0 when nothing leaked, 1 otherwise.
#include "EchoServer.h"
#include "HomeFiles.h"
#include "Loopback.h"
#include "ProcessTable.h"
#include "SshAgent.h"
#include "TestSshd.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double setting(const char* name, double fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atof(v) : fallback;
}

double since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// The driver's standard output, line by line, read on a thread of its own.
class DriverOutput {
public:
    explicit DriverOutput(int fd) : thread_([this, fd] { read(fd); }) {}
    ~DriverOutput() { thread_.join(); }

    std::vector<std::string> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> out;
        out.swap(pending_);
        return out;
    }

private:
    void read(int fd) {
        FILE* in = ::fdopen(fd, "r");
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, in)) {
            std::string line(buffer);
            while (!line.empty() && line.back() == '\n')
                line.pop_back();
            std::lock_guard<std::mutex> lock(mutex_);
            pending_.push_back(line);
        }
        std::fclose(in);
    }

    std::mutex mutex_;
    std::vector<std::string> pending_;
    std::thread thread_;
};

// "key=value" words of a report line.
std::map<std::string, std::string> fields(const std::string& line) {
    std::map<std::string, std::string> out;
    std::istringstream in(line);
    for (std::string word; in >> word;) {
        auto eq = word.find('=');
        if (eq != std::string::npos) out[word.substr(0, eq)] = word.substr(eq + 1);
    }
    return out;
}

long number(const std::map<std::string, std::string>& f, const std::string& key) {
    auto it = f.find(key);
    return it == f.end() ? -1 : std::atol(it->second.c_str());
}

} // namespace

int main() {
    if (auto reason = TestSshd::unavailableReason()) {
        std::printf("soak: cannot run: %s\n", reason->c_str());
        return 2;
    }
    ::setsid();
    std::signal(SIGPIPE, SIG_IGN);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    const double seconds = setting("SOAK_SECONDS", 600);
    const int services = std::max(1, static_cast<int>(setting("SOAK_SERVICES", 50)));
    const double killEvery = std::max(0.1, setting("SOAK_KILL_EVERY", 2));
    const unsigned seed = static_cast<unsigned>(setting(
        "SOAK_SEED",
        static_cast<double>(std::chrono::system_clock::now().time_since_epoch().count() % 100000)));
    std::mt19937 random(seed);

    SshAgent agent(std::string(std::getenv("QB_TEST_ROOT")) + "/agent.sock");
    agent.exportSocket();
    TestSshd server;
    EchoServer echo;

    // Listen ports, all different.
    std::set<int> taken;
    std::vector<homefiles::Service> list;
    std::vector<std::pair<std::string, int>> probes; // kind, port
    for (int i = 0; i < services; ++i) {
        int port;
        do
            port = loopback::freePort();
        while (!taken.insert(port).second);
        const std::string p = std::to_string(port);
        const std::string target = "127.0.0.1:" + std::to_string(echo.port());
        const char* user = TestSshd::kUser;
        switch (i % 3) {
        case 0:
            list.push_back({TestSshd::kKeyHost, p, user, "", "SOCKS"});
            break;
        case 1:
            list.push_back({TestSshd::kKeyHost, p, user, "", target});
            break;
        default:
            list.push_back({TestSshd::kKeyHost, p, user, "", "Reverse Tunnel: " + target});
        }
        probes.push_back({i % 3 == 0 ? "socks" : "plain", port});
    }
    homefiles::Preferences prefs;
    prefs.reconnect = true;
    prefs.keyFiles = {server.clientKeyPath() + ":" + TestSshd::kKeyPassphrase};
    homefiles::writePreferences(prefs);
    homefiles::writeServiceList(list);

    std::printf("soak: %d services (SOCKS, local, reverse), reconnection on, a connection "
                "dropped every %.1f s for %.0f s, seed %u, sshd on 127.0.0.1:%d\n",
                services, killEvery, seconds, seed, server.port());

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return 2;
    const pid_t driver = ::fork();
    if (driver == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        const char* path = QB_BIN_DIR "/qb-e2e-driver";
        ::execl(path, path, "--status-every", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    DriverOutput output(out[0]);

    std::set<pid_t> sshSeen; // every ssh child of the application, sampled once a second
    // An ended child waits for the next once-a-second check to be reaped; one still unreaped
    // after several seconds has been forgotten.
    std::map<pid_t, Clock::time_point> zombieSince;
    std::set<pid_t> lingering;
    auto sample = [&] {
        std::map<pid_t, Clock::time_point> now;
        for (const auto& child : proctable::childrenOf(driver)) {
            if (child.command == "ssh") sshSeen.insert(child.pid);
            if (child.state != 'Z') continue;
            auto it = zombieSince.find(child.pid);
            now[child.pid] = it == zombieSince.end() ? Clock::now() : it->second;
            if (since(now[child.pid]) > 5) lingering.insert(child.pid);
        }
        zombieSince.swap(now);
    };
    std::vector<std::string> reports;
    auto drain = [&] {
        bool ready = false;
        for (const auto& line : output.take()) {
            if (line.rfind("ready", 0) == 0)
                ready = true;
            else if (line.rfind("report", 0) == 0)
                reports.push_back(line);
            if (line.rfind("status", 0) == 0) std::printf("  app: %s\n", line.c_str());
        }
        return ready;
    };

    const auto startedAt = Clock::now();
    bool ready = false;
    while (!ready && since(startedAt) < 120 && !proctable::hasEnded(driver)) {
        ready = drain();
        sample();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!ready) {
        std::printf("soak: the application never had every service running\n");
        ::kill(driver, SIGKILL);
        ::waitpid(driver, nullptr, 0);
        return 1;
    }
    const int fdsAtReady = proctable::openFileCount(driver);
    std::printf("soak: all %d services running after %.1f s; application fds %d\n", services,
                since(startedAt), fdsAtReady);

    long drops = 0, probesOk = 0, probesFailed = 0;
    int fdsMin = fdsAtReady, fdsMax = fdsAtReady;
    const auto killerStart = Clock::now();
    double nextKill = 0, nextProbe = 1, nextSample = 0, nextProgress = 60;
    while (since(killerStart) < seconds) {
        const double t = since(killerStart);
        if (t >= nextKill) {
            nextKill += killEvery;
            auto sessions = server.sessions();
            if (!sessions.empty() && server.dropSession(sessions[random() % sessions.size()]))
                ++drops;
        }
        if (t >= nextProbe) {
            nextProbe += 1;
            const auto& [kind, port] = probes[random() % probes.size()];
            bool ok = kind == "socks" ? loopback::echoesThroughSocks(port, echo.port(), 4096)
                                      : loopback::echoesThrough(port, 4096);
            ++(ok ? probesOk : probesFailed);
        }
        if (t >= nextSample) {
            nextSample += 1;
            sample();
            int fds = proctable::openFileCount(driver);
            if (fds >= 0) {
                fdsMin = std::min(fdsMin, fds);
                fdsMax = std::max(fdsMax, fds);
            }
        }
        if (t >= nextProgress) {
            nextProgress += 60;
            std::printf("soak: %.0f s, %ld connections dropped, probes ok %ld failed %ld, "
                        "server sessions %zu\n",
                        t, drops, probesOk, probesFailed, server.sessions().size());
        }
        drain();
        if (proctable::hasEnded(driver)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    sample();
    const double killerSeconds = since(killerStart);
    const int fdsBeforeEnd = proctable::openFileCount(driver);

    // The application ends normally (applicationWillTerminate) and reports.
    ::kill(driver, SIGTERM);
    int status = 0;
    const auto endAt = Clock::now();
    while (::waitpid(driver, &status, WNOHANG) == 0) {
        if (since(endAt) > 30) {
            ::kill(driver, SIGKILL);
            ::waitpid(driver, &status, 0);
            std::printf("soak: the application did not end within 30 s of SIGTERM\n");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    drain();

    std::map<std::string, std::string> before, after;
    for (const auto& r : reports)
        (r.find("phase=before-end") != std::string::npos ? before : after) = fields(r);

    // ssh children still alive once the application has ended (they would hold ports).
    std::this_thread::sleep_for(std::chrono::seconds(2));
    long leftoverSsh = 0;
    for (pid_t pid : sshSeen)
        if (!proctable::hasEnded(pid)) ++leftoverSsh;
    const std::size_t leftoverSessions = server.sessions().size();

    const long running = number(before, "running");
    const long failedStopped = services - running;
    const long fdsReady = number(before, "fds-at-ready");
    const long fdsEnd = number(before, "fds");
    std::printf("\nsoak report\n");
    std::printf("  duration of the killer          %.0f s (seed %u)\n", killerSeconds, seed);
    std::printf("  connections dropped             %ld\n", drops);
    std::printf("  restarts (ssh starts - services) %ld\n", number(before, "restarts"));
    std::printf("  services running at the end     %ld of %d (rows reading Running...: %ld)\n",
                running, services, number(before, "shown-running"));
    std::printf("  failure alerts shown            %ld\n", number(before, "alerts"));
    std::printf("  byte probes through tunnels     ok %ld, failed %ld (a failure is a probe that "
                "met a restart)\n",
                probesOk, probesFailed);
    std::printf("  application fds                 at ready %ld (from inside), at end %ld; "
                "seen from outside: %d at ready, min %d, max %d, before end %d\n",
                fdsReady, fdsEnd, fdsAtReady, fdsMin, fdsMax, fdsBeforeEnd);
    std::printf("  ssh children seen               %zu\n", sshSeen.size());
    std::printf("  children left unreaped > 5 s    %zu (while the application ran)\n",
                lingering.size());
    std::printf("  after the application's end     live children %ld, leftover ssh %ld, "
                "server sessions %zu; unreaped ended children %ld (they go when the process "
                "exits)\n",
                number(after, "children"), leftoverSsh, leftoverSessions, number(after, "zombies"));

    std::vector<std::string> problems;
    if (before.empty() || after.empty()) problems.push_back("the application gave no report");
    if (fdsEnd > fdsReady) problems.push_back("the application's descriptors grew");
    if (leftoverSsh > 0) problems.push_back("ssh processes outlived the application");
    if (number(after, "children") > 0)
        problems.push_back("children still running after the application's end");
    if (!lingering.empty()) problems.push_back("the application left ended children unreaped");
    if (failedStopped > 0)
        std::printf("  note: %ld service(s) stopped at Failed... (a restart that failed at its "
                    "status check is not retried)\n",
                    failedStopped);
    std::printf("  verdict                         %s\n", problems.empty() ? "OK" : "PROBLEM");
    for (const auto& p : problems)
        std::printf("    - %s\n", p.c_str());
    return problems.empty() ? 0 : 1;
}
