// Launch of the real application up to its first shown main window. Prints the milliseconds
// from QB_BENCH_T0 (nanoseconds of CLOCK_REALTIME, taken by the caller just before the exec)
// to the moment the event loop has shown and painted the main window, then quits.

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

namespace {

class QuietLog : public SystemLog {
public:
    void write(const std::string&) override {}
};

} // namespace

int main(int argc, char* argv[]) {
    const char* t0 = std::getenv("QB_BENCH_T0");
    QApplication app(argc, argv);

    QtRunLoop runLoop;
    PosixProcessLauncher launcher;
    QuietLog log;
    PamAuthorizer authorizer;
    QuillboreApp quillbore(runLoop, launcher, log, authorizer);
    quillbore.launch();

    // A zero timer runs once the events queued by the launch (show, expose, paint) are done.
    QTimer::singleShot(0, [&] {
        const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        const double ms = t0 ? (now - std::atoll(t0)) / 1e6 : 0;
        std::printf("%.1f\n", ms);
        std::fflush(stdout);
        QApplication::quit();
    });
    return app.exec();
}
