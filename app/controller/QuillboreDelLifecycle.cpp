// SPDX-License-Identifier: GPL-3.0-or-later
// Start and end of the application.
#include "controller/QuillboreDel.h"
#include "platform/Accounts.h"
#include "platform/Files.h"

void QuillboreDel::applicationDidFinishLaunching() {
    // A save cut short by a crash leaves its temporary file, a scrambled copy of passwords,
    // beside the file it was to replace; nothing else would ever remove it.
    for (const std::string& path : {serviceListPath(), preferencesPath(), askpassPath()})
        files::removeLeftoverTemporaries(path);
    authorizer().release();
    authRef = false;
    selectedRow = -1;
    reloadPreferences();
    // The run loop keeps the status timer for the life of the application.
    runLoop().scheduleRepeating(1.0, [this] { updateStatus(); });
    theServiceList = std::vector<ServiceEntry>{};
    if (serviceList) serviceList->setDoubleAction([this] { gotsADoubleClick(); });
    loadUserData();

    if (mainWindow) {
        const char* marker = accounts::realUserId() == 0 ? "#" : "$";
        mainWindow->setTitle("[" + getUserDir() + "] " + getLoginName() + marker + " ./" +
                             mainWindow->title());
    }
}

void QuillboreDel::applicationWillTerminate() {
    endStartChain();
    std::unique_ptr<ChildProcess> unloading = unloadAgentKeys();
    if (theServiceList) {
        // By index and through a copy of the tunnel pointer: a stop may report back and
        // replace the entry it belongs to.
        for (std::size_t i = 0; i < theServiceList->size(); ++i) {
            std::shared_ptr<SSHTunnel> tunnel = (*theServiceList)[i].service;
            if (tunnel) tunnel->stopService();
        }
    }
    authorizer().release();
    authRef = false;
    // No password is left on disk for the askpass program once the application has ended.
    files::remove(askpassPath());
    // The application exits right after this: the keys must be out of the agent by then,
    // not merely on their way out. Bounded, so that a hung agent cannot hold up the exit.
    unloading->waitForEnd(kAgentUnloadWaitSeconds);
}

void QuillboreDel::openPreferences(Control*) {
    if (refuseWhenLocked()) return;
    if (aboutWindow) aboutWindow->makeKeyAndOrderFront();
}
