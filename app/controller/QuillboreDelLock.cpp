// SPDX-License-Identifier: GPL-3.0-or-later
// The application lock: the lock button, authentication at unlock and the idle lock.
#include "controller/QuillboreDel.h"

namespace {

constexpr const char* kRightName = "Use App Again";
constexpr double kIdleLockSeconds = 60.0;

constexpr const char* kNowLockedMessage =
    "This application is now locked, you can safely walk away knowing your settings and data "
    "is secure. However if you had key files loaded they are currently unloaded, so if you have "
    "set in preferences to reconnect on failure it will loop in failures. Check keep keys to "
    "change this.";

bool keepsKeys(const Button* keepKeys) {
    return keepKeys && keepKeys->state() == 1;
}

} // namespace

void QuillboreDel::toggleLock(Button* sender) {
    Button* b = sender ? sender : lockButtons;
    if (!b) return;

    if (b->image() == image::LockLocked) {
        // A refused or cancelled authentication leaves everything locked, silently.
        if (!doAuth()) return;
        b->setImage(image::LockUnlocked);
        reloadPreferences();
        if (keepKeys) keepKeys->setEnabled(true);
        return;
    }

    lockWith(*b, mainWindow);
}

void QuillboreDel::lock(Window* tellOn) {
    if (lockButtons && !isLocked()) lockWith(*lockButtons, tellOn);
}

void QuillboreDel::lockWith(Button& b, Window* tellOn) {
    endStartChain();
    authorizer().release();
    authRef = false;
    if (!keepsKeys(keepKeys)) unloadAgentKeys();
    b.setImage(image::LockLocked);
    if (keepKeys) keepKeys->setEnabled(false);
    if (!keepKeys || keepKeys->state() == 0) doAlertWindow(kNowLockedMessage, tellOn);
}

bool QuillboreDel::doAuth() {
    PasswordPrompt* ask = passwordPrompt;
    auto prompt = [ask](const std::string&, const std::string& text) -> std::optional<std::string> {
        if (!ask) return std::nullopt; // nobody to ask: the same as a cancelled dialog
        return ask->askPassword(kRightName, text);
    };
    if (authorizer().authorize(kRightName, getLoginName(), prompt) != Authorizer::Outcome::Granted)
        return false;
    authRef = true;
    return true;
}

// Runs again with the same result when already locked. lockTimer stays set, so no new idle
// count starts until the main window has been main again.
void QuillboreDel::timeLock() {
    endStartChain();
    authorizer().release();
    authRef = false;
    if (!keepsKeys(keepKeys)) unloadAgentKeys();
    if (lockButtons) lockButtons->setImage(image::LockLocked);
    if (keepKeys) keepKeys->setEnabled(false);
}

void QuillboreDel::windowDidResignMain() {
    if (lockTimer) return;
    lockTimer = runLoop().scheduleOnce(kIdleLockSeconds, [this] { timeLock(); });
}

void QuillboreDel::windowDidBecomeMain() {
    if (lockTimer) lockTimer->invalidate();
    lockTimer.reset();
}
