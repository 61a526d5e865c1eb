// Headless measurements of the controller and the supervision, with real children and the
// real run loop. Run under tests/support/with-test-home so the data files land in a
// temporary home. Prints key=value lines for bench/run.
//
//   qb-bench supervise N SECONDS CHILD   N own-command services whose command is CHILD
//   qb-bench react KILLS CHILD           kill the child KILLS times, time until it runs again
//   qb-bench react-autossh KILLS CHILD   the same for one autossh supervising CHILD
//   qb-bench files COUNT                 load and save of a COUNT-service list; cipher speed
//   qb-bench make-list COUNT             writes a COUNT-service list file into the home

#include "FakeAuthorizer.h"
#include "MemoryLayout.h"
#include "controller/QuillboreDel.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/PosixRunLoop.h"
#include "store/Cipher.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Remembers when each child was started ("Starting task: <pid>").
class StartLog : public SystemLog {
public:
    void write(const std::string& line) override {
        static const std::string prefix = "Starting task: ";
        if (line.rfind(prefix, 0) == 0) {
            lastPid = std::atoi(line.c_str() + prefix.size());
            lastStart = Clock::now();
            ++starts;
        }
    }
    pid_t lastPid = 0;
    Clock::time_point lastStart;
    long starts = 0;
};

// The real controller, tunnels, run loop and children, with the in-memory window layout.
struct Headless {
    PosixRunLoop runLoop;
    PosixProcessLauncher launcher;
    StartLog log;
    FakeAuthorizer authorizer;
    MemoryLayout ui;
    QuillboreDel controller{runLoop, launcher, log, authorizer};

    Headless() {
        ui.wire(controller);
        controller.theServiceList.emplace();
    }

    // `count` services in one OK of the add window: listen ports from `firstPort` on.
    void addServices(int count, int firstPort, const std::string& forward) {
        std::string ports, forwards;
        for (int i = 0; i < count; ++i) {
            if (i) ports += ',', forwards += ',';
            ports += std::to_string(firstPort + i % 50000);
            forwards += forward;
        }
        ui.serverAddress.value = "gateway.example.test";
        ui.userName.value = "alice";
        ui.userPassword.value = "correct horse battery staple";
        ui.serverPort.value = ports;
        ui.forwardInfo.value = forwards;
        controller.addToList(nullptr); // the table reload saves the file
    }
};

// A launched application whose services run CHILD in own-command mode.
struct App : Headless {
    App(const std::string& child, bool reconnect) {
        controller.applicationDidFinishLaunching();
        ui.mainWindow.alerts.clear();
        controller.use_my_command = true;
        controller.heres_my_command = child;
        controller.heres_my_arguments = "%u@%h";
        controller.recon = reconnect;
    }

    void startAll() {
        controller.updateStatus();
        ui.serviceList.selected = -1;
        controller.startTunnel(nullptr);
    }

    long running() const {
        long n = 0;
        for (const auto& e : *controller.theServiceList)
            n += e.status == "Running...";
        return n;
    }

    ~App() {
        controller.applicationWillTerminate();
        runLoop.runFor(0.3);
    }
};

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
           u.ru_stime.tv_usec / 1e6;
}

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

int openFds() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n - 3; // ".", ".." and the directory's own fd
}

int supervise(int n, double seconds, const std::string& child) {
    App app(child, true);
    app.addServices(n, 20000, "127.0.0.1:9");
    app.startAll();
    app.runLoop.runUntil([&] { return app.running() == n; }, 10.0);
    app.runLoop.runFor(1.0);
    const double cpu0 = cpuSeconds();
    const auto t0 = Clock::now();
    const int fds0 = openFds();
    app.runLoop.runFor(seconds);
    const double cpu = cpuSeconds() - cpu0;
    const double wall = secondsSince(t0);
    std::printf("services=%d\nrunning=%ld\nwall_s=%.2f\ncpu_s=%.4f\ncpu_percent=%.4f\n", n,
                app.running(), wall, cpu, 100.0 * cpu / wall);
    std::printf("rss_kib=%ld\nfds_before=%d\nfds_after=%d\nstarts=%ld\n", residentKiB(getpid()),
                fds0, openFds(), app.log.starts);
    return 0;
}

void printSpread(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) return;
    std::printf("kills=%zu\nmin_ms=%.1f\nmedian_ms=%.1f\nmax_ms=%.1f\n", ms.size(), ms.front(),
                ms[ms.size() / 2], ms.back());
}

int react(int kills, const std::string& child) {
    App app(child, true);
    app.addServices(1, 20000, "127.0.0.1:9");
    app.startAll();
    std::mt19937 random(42);
    std::uniform_real_distribution<double> phase(0.0, 1.0);
    std::vector<double> ms;
    for (int k = 0; k < kills; ++k) {
        // Kill only a child that is watched by the one-second check loop (its first status
        // check, 3 s after the start, has passed), at a random phase against that loop.
        if (!app.runLoop.runUntil([&] { return app.running() == 1; }, 10.0)) {
            std::fprintf(stderr, "react: the service did not come up before kill %d\n", k);
            return 1;
        }
        app.runLoop.runFor(phase(random));
        const pid_t victim = app.log.lastPid;
        const long before = app.log.starts;
        const auto killed = Clock::now();
        ::kill(victim, SIGKILL);
        if (!app.runLoop.runUntil([&] { return app.log.starts > before; }, 5.0)) {
            std::fprintf(stderr, "react: no restart after kill %d\n", k);
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(app.log.lastStart - killed).count());
    }
    printSpread(ms);
    return 0;
}

std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> found;
    DIR* d = opendir("/proc");
    if (!d) return found;
    while (dirent* e = readdir(d)) {
        pid_t pid = std::atoi(e->d_name);
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string s;
        std::getline(stat, s);
        auto close = s.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(s.substr(close + 2));
        char state;
        pid_t ppid;
        rest >> state >> ppid;
        if (ppid == parent && state != 'Z') found.push_back(pid);
    }
    closedir(d);
    return found;
}

pid_t startAutossh(const std::string& child) {
    pid_t autossh = fork();
    if (autossh == 0) {
        setenv("AUTOSSH_PATH", child.c_str(), 1);
        setenv("AUTOSSH_GATETIME", "0", 1);
        execlp("autossh", "autossh", "-M", "0", "-N", "bench@127.0.0.1",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    return autossh;
}

// The first child of `parent` other than `notThis`, polled every half millisecond.
pid_t waitForChild(pid_t parent, pid_t notThis, double timeout) {
    const auto start = Clock::now();
    while (secondsSince(start) < timeout) {
        for (pid_t c : childrenOf(parent))
            if (c != notThis) return c;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return 0;
}

// autossh backs off after a few quick restarts in a row, so every kill gets a fresh autossh:
// what is timed is its immediate restart of a dropped child.
int reactAutossh(int kills, const std::string& child) {
    std::mt19937 random(42);
    std::uniform_real_distribution<double> phase(0.5, 1.5);
    std::vector<double> ms;
    for (int k = 0; k < kills; ++k) {
        const pid_t autossh = startAutossh(child);
        const pid_t current = waitForChild(autossh, 0, 5.0);
        pid_t next = 0;
        if (current) {
            std::this_thread::sleep_for(std::chrono::duration<double>(phase(random)));
            const auto killed = Clock::now();
            ::kill(current, SIGKILL);
            next = waitForChild(autossh, current, 5.0);
            if (next)
                ms.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - killed).count());
        }
        ::kill(autossh, SIGTERM);
        waitpid(autossh, nullptr, 0);
        if (!next) {
            std::fprintf(stderr, "react-autossh: autossh did not restart its child\n");
            return 1;
        }
    }
    printSpread(ms);
    return 0;
}

int filesBench(int count) {
    Headless app;
    app.addServices(count, 10000, "intranet.example.test:443");
    auto t0 = Clock::now();
    app.controller.saveUserData();
    const double saveMs = secondsSince(t0) * 1000;

    Headless fresh;
    t0 = Clock::now();
    fresh.controller.loadUserData(); // includes the table reload, which saves once more
    const double loadMs = secondsSince(t0) * 1000;

    std::string text(8 << 20, 'x');
    std::mt19937 random(7);
    for (auto& c : text)
        c = static_cast<char>(32 + random() % 95);
    t0 = Clock::now();
    std::string sealed = cipher::encryptString(text, "alice");
    std::string opened = cipher::decryptString(sealed, "alice");
    const double cipherS = secondsSince(t0);
    if (opened != text) return 1;

    std::printf("services=%zu\nloaded=%zu\nsave_ms=%.1f\nload_ms=%.1f\ncipher_mib_s=%.1f\n",
                app.controller.theServiceList->size(), fresh.controller.theServiceList->size(),
                saveMs, loadMs, 2 * 8.0 / cipherS);
    return 0;
}

int makeList(int count) {
    if (count <= 0) return 0;
    Headless app;
    app.addServices(count, 10000, "intranet.example.test:443");
    return app.controller.theServiceList->size() == static_cast<std::size_t>(count) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "supervise" && argc == 5)
        return supervise(std::atoi(argv[2]), std::atof(argv[3]), argv[4]);
    if (mode == "react" && argc == 4) return react(std::atoi(argv[2]), argv[3]);
    if (mode == "react-autossh" && argc == 4) return reactAutossh(std::atoi(argv[2]), argv[3]);
    if (mode == "files" && argc == 3) return filesBench(std::atoi(argv[2]));
    if (mode == "make-list" && argc == 3) return makeList(std::atoi(argv[2]));
    std::fprintf(stderr, "usage: qb-bench supervise N SECONDS CHILD | react KILLS CHILD | "
                         "react-autossh KILLS CHILD | files COUNT\n");
    return 2;
}
