#include "desktop/TrayActions.h"

#include "controller/QuillboreDel.h"
#include "desktop/RevealingWindow.h"

template <typename Operation> void TrayActions::withRow(long row, Operation operation) {
    Window* const main = c_.mainWindow;
    if (!main) {
        operation();
        return;
    }
    RevealingWindow revealing(*main);
    c_.mainWindow = &revealing;
    const long before = c_.serviceList ? c_.serviceList->selectedRow() : -1;
    const std::int64_t rememberedRow = c_.selectedRow;
    if (c_.serviceList) c_.serviceList->selectRow(row);
    operation();
    // The operation may have reloaded the table; the user's own selection comes back.
    if (c_.serviceList) c_.serviceList->selectRow(before);
    c_.selectedRow = rememberedRow;
    c_.mainWindow = main;
}

void TrayActions::toggleService(std::size_t index) {
    if (!c_.theServiceList || index >= c_.theServiceList->size()) return;
    const auto& tunnel = (*c_.theServiceList)[index].service;
    const bool running = tunnel && tunnel->isRunning();
    withRow(static_cast<long>(index), [&] {
        if (running)
            c_.stopTunnel(nullptr);
        else
            c_.startTunnel(nullptr);
    });
}

void TrayActions::startAll() {
    withRow(-1, [&] { c_.startTunnel(nullptr); });
}

void TrayActions::stopAll() {
    withRow(-1, [&] { c_.stopTunnel(nullptr); });
}

void TrayActions::lock() {
    withRow(c_.serviceList ? c_.serviceList->selectedRow() : -1, [&] {
        if (c_.isLocked())
            c_.refuseWhenLocked();
        else
            c_.toggleLock(c_.lockButtons);
    });
}

void TrayActions::showWindow() {
    if (c_.mainWindow) c_.mainWindow->makeKeyAndOrderFront();
}
