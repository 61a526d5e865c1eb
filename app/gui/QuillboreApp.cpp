// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuillboreApp.h"

#include "MainWindow.h"

#include <QCoreApplication>

QuillboreApp::QuillboreApp(RunLoop& runLoop, ProcessLauncher& launcher, SystemLog& log,
                           Authorizer& authorizer)
    : controller(runLoop, launcher, log, authorizer) {
    windows.wire(controller, prefs);
}

void QuillboreApp::launch(bool showWindow) {
    if (launched_) return;
    launched_ = true;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, windows.main.get(), [this] {
        if (willEnd) willEnd();
        controller.applicationWillTerminate();
    });
    if (showWindow) windows.mainWindow.makeKeyAndOrderFront();
    controller.applicationDidFinishLaunching();
    if (didLaunch) didLaunch();
}
