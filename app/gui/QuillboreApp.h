// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppWindows.h"
#include "controller/MyPrefs.h"
#include "controller/QuillboreDel.h"

#include <functional>

// The application object: the controller, the preferences logic and the window layout,
// wired together. launch() shows the main window and runs the controller's start sequence;
// the end sequence runs when the Qt application is about to quit.
class QuillboreApp {
public:
    QuillboreApp(RunLoop& runLoop, ProcessLauncher& launcher, SystemLog& log,
                 Authorizer& authorizer);

    // showWindow false keeps the main window hidden (a start into the tray).
    void launch(bool showWindow = true);

    // Set before launch(): runs once, right after the controller's start sequence (the
    // service list is loaded by then).
    std::function<void()> didLaunch;
    // Runs at the full end, before the controller's end sequence stops the services.
    std::function<void()> willEnd;

    QuillboreDel controller;
    MyPrefs prefs;
    AppWindows windows; // declared last: destroyed first, while the controller still exists

private:
    bool launched_ = false;
};
