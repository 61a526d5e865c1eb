// SPDX-License-Identifier: GPL-3.0-or-later
// qb-e2e-driver: the application without windows, for tests and the soak run.
//
// Runs the real controller (in-memory toolkit, real run loop, real ssh children) on the
// preferences and service list in the home of the account record: launches, starts every
// service, and runs until SIGTERM/SIGINT or --seconds have passed. On standard output:
//   ready <pid> ...      once every service has shown "Running..." (the ssh pids)
//   status ...           every --status-every seconds (0: never)
//   report ...           at the end, before and after the application's end
#include "E2eApp.h"
#include "ProcessTable.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

struct Counts {
    long running = 0;      // tunnels meant to be up
    long shownRunning = 0; // rows that read "Running..."
    long starts = 0;       // ssh children started so far, restarts included
};

Counts count(E2eApp& app) {
    Counts c;
    for (long row = 0; row < static_cast<long>(app.rows()); ++row) {
        if (app.tunnelRunning(row)) ++c.running;
        if (app.status(row) == "Running...") ++c.shownRunning;
    }
    for (const auto& line : app.log.lines)
        if (line.rfind("Starting task: ", 0) == 0) ++c.starts;
    return c;
}

long liveChildren() {
    long n = 0;
    for (const auto& child : proctable::childrenOf(::getpid()))
        if (child.state != 'Z') ++n;
    return n;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 0; // 0: until a signal
    double statusEvery = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--status-every") == 0 && i + 1 < argc)
            statusEvery = std::atof(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--status-every S]\n", argv[0]);
            return 2;
        }
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    ::setsid(); // no terminal for ssh to prompt on
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);

    E2eApp app;
    app.launch();
    if (app.rows() == 0) {
        std::printf("report error=no-services\n");
        return 1;
    }
    app.start(-1);

    using Clock = std::chrono::steady_clock;
    const auto began = Clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - began).count(); };
    bool ready = false;
    int fdsAtReady = -1;
    double nextStatus = statusEvery;
    while (!stopRequested && (seconds <= 0 || elapsed() < seconds)) {
        app.runUntil([&] { return stopRequested != 0; }, 0.5);
        if (!ready && count(app).shownRunning == static_cast<long>(app.rows())) {
            ready = true;
            fdsAtReady = proctable::openFileCount(::getpid());
            std::string line = "ready";
            for (long row = 0; row < static_cast<long>(app.rows()); ++row)
                line += " " + std::to_string(app.childPid(row));
            std::printf("%s\n", line.c_str());
        }
        if (statusEvery > 0 && elapsed() >= nextStatus) {
            nextStatus += statusEvery;
            Counts c = count(app);
            // Rows that do not read "Running...", with their recent statuses.
            std::string others;
            for (long row = 0; row < static_cast<long>(app.rows()); ++row) {
                if (app.status(row) == "Running...") continue;
                const auto& h = app.history(row);
                std::string recent;
                for (std::size_t i = h.size() > 4 ? h.size() - 4 : 0; i < h.size(); ++i)
                    recent += (recent.empty() ? "" : ">") + h[i];
                others += " row" + std::to_string(row) + (app.tunnelRunning(row) ? "(up)" : "") +
                          "=" + recent;
            }
            std::printf("status t=%.0f services=%zu running=%ld shown-running=%ld starts=%ld "
                        "fds=%d children=%ld%s\n",
                        elapsed(), app.rows(), c.running, c.shownRunning, c.starts,
                        proctable::openFileCount(::getpid()), liveChildren(), others.c_str());
        }
    }

    Counts c = count(app);
    std::printf("report phase=before-end services=%zu running=%ld shown-running=%ld starts=%ld "
                "restarts=%ld fds-at-ready=%d fds=%d children=%ld alerts=%zu\n",
                app.rows(), c.running, c.shownRunning, c.starts,
                c.starts - static_cast<long>(app.rows()), fdsAtReady,
                proctable::openFileCount(::getpid()), liveChildren(), app.alerts().size());
    app.terminate();
    app.runUntil([] { return liveChildren() == 0; }, 5);
    std::printf("report phase=after-end running=%ld children=%ld zombies=%zu fds=%d\n",
                count(app).running, liveChildren(), proctable::zombieChildrenOf(::getpid()).size(),
                proctable::openFileCount(::getpid()));
    return 0;
}
