// The real Qt application, built as main() builds it (offscreen in bench/run), measured from
// the inside. Run under tests/support/with-test-home; prints key=value lines.
//
//   qb-bench-app startup
//       milliseconds from QB_BENCH_T0 (CLOCK_REALTIME nanoseconds, taken by the caller just
//       before the exec) until the event loop has shown and painted the main window
//   qb-bench-app supervise SECONDS CHILD
//       starts every saved service in own-command mode with CHILD as the command, waits until
//       they run, then reports the application's CPU share over SECONDS and its memory

#include "QtRunLoop.h"
#include "QuillboreApp.h"
#include "platform/PamAuthorizer.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/SystemLog.h"

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>

namespace {

class QuietLog : public SystemLog {
public:
    void write(const std::string&) override {}
};

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec +
           u.ru_stime.tv_usec / 1e6;
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

long runningCount(const QuillboreDel& c) {
    long n = 0;
    for (const auto& e : *c.theServiceList)
        n += e.status == "Running...";
    return n;
}

} // namespace

int main(int argc, char* argv[]) {
    const char* t0 = std::getenv("QB_BENCH_T0");
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "startup" && !(mode == "supervise" && argc == 4)) {
        std::fprintf(stderr, "usage: qb-bench-app startup | supervise SECONDS CHILD\n");
        return 2;
    }
    QApplication app(argc, argv);

    QtRunLoop runLoop;
    PosixProcessLauncher launcher;
    QuietLog log;
    PamAuthorizer authorizer;
    QuillboreApp quillbore(runLoop, launcher, log, authorizer);
    quillbore.launch();
    QuillboreDel& controller = quillbore.controller;

    if (mode == "startup") {
        // A zero timer runs once the events queued by the launch (show, expose, paint) are done.
        QTimer::singleShot(0, [&] {
            const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
            std::printf("%.1f\n", t0 ? (now - std::atoll(t0)) / 1e6 : 0.0);
            QApplication::quit();
        });
        return app.exec();
    }

    const double seconds = std::atof(argv[2]);
    controller.use_my_command = true;
    controller.heres_my_command = argv[3];
    controller.heres_my_arguments = "%u@%h";
    controller.recon = true;
    const long services = static_cast<long>(controller.theServiceList->size());

    double cpu0 = 0;
    auto wall0 = std::chrono::steady_clock::now();
    QTimer::singleShot(1100, [&] { // after the first status refresh: the line reads "Idle..."
        controller.startTunnel(nullptr);
    });
    QTimer poll;
    poll.callOnTimeout([&] {
        if (runningCount(controller) < services) return;
        poll.stop();
        QTimer::singleShot(1000, [&] {
            cpu0 = cpuSeconds();
            wall0 = std::chrono::steady_clock::now();
            QTimer::singleShot(static_cast<int>(seconds * 1000), [&] {
                const double cpu = cpuSeconds() - cpu0;
                const double wall =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
                std::printf("services=%ld\nrunning=%ld\nwall_s=%.2f\ncpu_s=%.4f\n", services,
                            runningCount(controller), wall, cpu);
                std::printf("cpu_percent=%.4f\nrss_kib=%ld\n", 100.0 * cpu / wall, residentKiB());
                QApplication::quit();
            });
        });
    });
    poll.start(100);
    return app.exec();
}
