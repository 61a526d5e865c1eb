// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/TrayActions.h"

#include "controller/QuillboreDel.h"
#include "desktop/RevealingWindow.h"

#include <optional>

namespace {

// The main window, brought to the front for an alert; none without a main window.
std::optional<RevealingWindow> revealing(QuillboreDel& c) {
    if (!c.mainWindow) return std::nullopt;
    return std::optional<RevealingWindow>(std::in_place, *c.mainWindow);
}

Window* windowOf(std::optional<RevealingWindow>& w) {
    return w ? &*w : nullptr;
}

} // namespace

void TrayActions::toggleService(std::size_t index) {
    auto service = c_.serviceAt(static_cast<long>(index));
    if (!service) return;
    auto window = revealing(c_);
    if (service->isRunning() || c_.hasPendingStart(service))
        c_.stopOne(service, windowOf(window));
    else
        c_.startOne(service, windowOf(window));
}

void TrayActions::startAll() {
    auto window = revealing(c_);
    c_.startAll(windowOf(window));
}

void TrayActions::stopAll() {
    auto window = revealing(c_);
    c_.stopAll(windowOf(window));
}

void TrayActions::lock() {
    auto window = revealing(c_);
    if (c_.isLocked())
        c_.doAlertWindow(QuillboreDel::kLockedMessage, windowOf(window));
    else
        c_.lock(windowOf(window));
}

void TrayActions::showWindow() {
    if (c_.mainWindow) c_.mainWindow->makeKeyAndOrderFront();
}
