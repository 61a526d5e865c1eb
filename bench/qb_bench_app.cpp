// SPDX-License-Identifier: GPL-3.0-or-later
// The real Qt application, built as main() builds it (its desktop shell too), for bench/run (under
// Xvfb and tests/support/with-test-home). The only additions: the children's checks are timed
// (TimedLauncher) and, in `serve`, commands come in on standard input through a socket
// notifier, which wakes the process only when a command arrives.
//
//   qb-bench-app startup   prints the milliseconds from QB_BENCH_T0 to the first painted frame
//   qb-bench-app serve     runs; commands, one per line, each answered with one line:
//       start-all          Start with no row selected (every saved service)
//       running            "running N": rows that read "Running..."
//       marked             "marked N": rows whose forward carries a warning mark
//       keep-keys          ticks "Keep keys" (the idle lock then leaves the agent's keys)
//       hide | show | minimize
//       timing             the check timing (CheckTimes), then "end"
//       quit

#include "DesktopShell.h"
#include "FirstFrame.h"
#include "MainWindow.h"
#include "NamedImages.h"
#include "QtRunLoop.h"
#include "QuillboreApp.h"
#include "QuitOnSignal.h"
#include "TimedLauncher.h"
#include "platform/PamAuthorizer.h"
#include "platform/SyslogLog.h"

#include <QApplication>
#include <QCheckBox>
#include <QSocketNotifier>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

long runningCount(const QuillboreDel& c) {
    long n = 0;
    if (c.theServiceList)
        for (const auto& e : *c.theServiceList)
            n += e.status == "Running...";
    return n;
}

long markedCount(const QuillboreDel& c) {
    long n = 0;
    if (c.theServiceList)
        for (const auto& e : *c.theServiceList)
            n += e.service && !e.service->warning().empty();
    return n;
}

void answer(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "startup" && mode != "serve") {
        std::fprintf(stderr, "usage: qb-bench-app startup | serve\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QuillboreSSH"));
    QApplication::setDesktopFileName(QStringLiteral("quillbore-ssh"));
    QApplication::setWindowIcon(named_images::icon("quillbore-ssh"));

    QtRunLoop runLoop;
    TimedLauncher launcher;
    SyslogLog log;
    PamAuthorizer authorizer;

    std::unique_ptr<FirstFrame> firstFrame;
    if (mode == "startup") firstFrame = std::make_unique<FirstFrame>();

    QuillboreApp quillbore(runLoop, launcher, log, authorizer);
    DesktopShell desktop(quillbore, false);
    QuitOnSignal quitOnSignal;
    quillbore.launch(desktop.showsWindowAtLaunch());
    if (mode == "startup") return app.exec();

    MainWindow& window = *quillbore.windows.main;
    QuillboreDel& controller = quillbore.controller;
    std::string pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            QApplication::quit();
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        for (auto eol = pending.find('\n'); eol != std::string::npos; eol = pending.find('\n')) {
            const std::string command = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            if (command == "start-all") {
                quillbore.windows.serviceList.selectRow(-1);
                controller.updateStatus(); // what the one-second status timer does
                controller.startTunnel(nullptr);
                answer("ok");
            } else if (command == "keep-keys") {
                window.keepKeys->setChecked(true);
                answer("ok");
            } else if (command == "running") {
                answer("running " + std::to_string(runningCount(controller)));
            } else if (command == "marked") {
                answer("marked " + std::to_string(markedCount(controller)));
            } else if (command == "hide") {
                window.hide();
                answer("ok");
            } else if (command == "show") {
                window.showNormal();
                answer("ok");
            } else if (command == "minimize") {
                window.showMinimized();
                answer("ok");
            } else if (command == "timing") {
                launcher.times.print(stdout);
                answer("end");
            } else if (command == "quit") {
                answer("ok");
                QApplication::quit();
            } else {
                answer("unknown");
            }
        }
    });
    return app.exec();
}
