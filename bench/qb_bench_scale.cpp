// SPDX-License-Identifier: GPL-3.0-or-later
// qb-bench-scale: what the number of services costs, for bench/run. The real application
// (qb-bench-app under Xvfb) with N services of one's own command, a script that only sleeps:
//   start    Start all, until every row reads "Running..." and every forward check is done
//            (nothing listens on the ports, so each row gets its warning mark at the third
//            look): the CPU this took, in the application and in Xvfb, the wall time, and the
//            longest the window took to answer a command meanwhile (one every 100 ms)
//   running  all N running, the window shown: CPU and wake-ups per second, application and
//            Xvfb apart
// Run under tests/support/with-test-home with DISPLAY set; BENCH_XVFB_PID names the X server.
// Prints key=value lines. No connection is made; the children are stopped at the end.
//
//   qb-bench-scale N WINDOW_SECONDS
#include "Driven.h"
#include "HomeFiles.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

namespace {

using namespace bench;

std::string homePath(const std::string& name) {
    return std::string(std::getenv("QB_TEST_HOME")) + "/" + name;
}

// N local forwards on ports nobody listens on, run by a command that only sleeps.
void writeHomeFiles(int n) {
    const std::string sleeper = homePath("sleeper");
    {
        std::ofstream script(sleeper);
        script << "#!/bin/sh\nexec sleep 100000\n";
    }
    ::chmod(sleeper.c_str(), 0700);
    std::vector<homefiles::Service> list;
    for (int i = 0; i < n; ++i)
        list.push_back({"host-" + std::to_string(i) + ".example.test", std::to_string(30000 + i),
                        "u", "", "127.0.0.1:9"});
    homefiles::Preferences prefs;
    prefs.mode = homefiles::Mode::OwnCommand;
    prefs.command = sleeper;
    homefiles::writePreferences(prefs);
    homefiles::writeServiceList(list);
}

// The answer to `command` and how long it took to come.
std::pair<std::string, double> timedAsk(Driven& app, const std::string& command) {
    const auto t0 = Clock::now();
    std::string answer = app.ask(command);
    return {answer, since(t0)};
}

long countIn(const std::string& answer, const std::string& word) {
    return answer.rfind(word + " ", 0) == 0 ? std::atol(answer.c_str() + word.size() + 1) : -1;
}

int run(const std::string& bin, pid_t xvfb, int n, double window) {
    writeHomeFiles(n);
    Driven app({bin + "/qb-bench-app", "serve"});
    if (countIn(app.ask("running"), "running") != 0) {
        std::fprintf(stderr, "qb-bench-scale: the application did not answer\n");
        return 1;
    }
    // No idle lock and its alert in the middle of the measurement.
    app.ask("keep-keys");
    sleepFor(2);

    progress("scale: starting %s services", std::to_string(n));
    const std::vector<std::vector<pid_t>> groups{{app.pid()}, {xvfb}};
    const procstats::Usage appBefore = procstats::usage(groups[0]);
    const procstats::Usage xvfbBefore = procstats::usage(groups[1]);
    const auto t0 = Clock::now();
    double longest = timedAsk(app, "start-all").second;
    bool done = false;
    while (!done && since(t0) < 300) {
        sleepFor(0.1);
        const auto [running, first] = timedAsk(app, "running");
        const auto [marked, second] = timedAsk(app, "marked");
        longest = std::max({longest, first, second});
        done = countIn(running, "running") == n && countIn(marked, "marked") == n;
    }
    const double wall = since(t0);
    const procstats::Usage appAfter = procstats::usage(groups[0]);
    const procstats::Usage xvfbAfter = procstats::usage(groups[1]);
    if (!done) {
        std::fprintf(stderr, "qb-bench-scale: not every service came up: %s, %s\n",
                     app.ask("running").c_str(), app.ask("marked").c_str());
        return 1;
    }
    // costBetween gives a share of one core over `wall`: back to seconds of CPU.
    const auto cpuSeconds = [wall](const procstats::Usage& before, const procstats::Usage& after) {
        return procstats::costBetween(before, after, wall).cpuPercent / 100.0 * wall;
    };
    std::printf("scale_services=%d\nscale_start_cpu_s=%.3f\nscale_start_xvfb_cpu_s=%.3f\n"
                "scale_start_wall_s=%.2f\nscale_start_unanswered_ms=%.0f\n",
                n, cpuSeconds(appBefore, appAfter), cpuSeconds(xvfbBefore, xvfbAfter), wall,
                longest * 1000);

    sleepFor(5);
    progress("scale: %s services running, window shown", std::to_string(n));
    const auto cost = costOver(groups, window);
    printCost("scale_running", cost[0]);
    printCost("scale_running_xvfb", cost[1]);
    std::printf("scale_running_at_end=%ld\n", countIn(app.ask("running"), "running"));
    app.end();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qb-bench-scale N WINDOW_SECONDS\n");
        return 2;
    }
    const char* xvfb = std::getenv("BENCH_XVFB_PID");
    if (!xvfb || !std::getenv("DISPLAY") || !std::getenv("QB_TEST_HOME")) {
        std::fprintf(stderr, "qb-bench-scale: needs DISPLAY, BENCH_XVFB_PID and QB_TEST_HOME\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return run(QB_BENCH_BIN_DIR, static_cast<pid_t>(std::atoi(xvfb)), std::atoi(argv[1]),
               std::atof(argv[2]));
}
