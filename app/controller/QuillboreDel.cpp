// SPDX-License-Identifier: GPL-3.0-or-later
#include "controller/QuillboreDel.h"

#include "platform/Accounts.h"
#include "platform/Text.h"
#include "store/Cipher.h"

#include <cstdio>
#include <cstdlib>

QuillboreDel::QuillboreDel(RunLoop& runLoop, ProcessLauncher& launcher, SystemLog& log,
                           Authorizer& authorizer)
    : runLoop_(runLoop), launcher_(launcher), log_(log), authorizer_(authorizer) {}

QuillboreDel::~QuillboreDel() = default;

// Without an account record there is no home for the files and no cipher key: stop.
std::string QuillboreDel::getUserDir() {
    if (auto home = accounts::homeDirectory()) return *home;
    std::fprintf(stderr, "getUserDir: no account record for user id %u (getpwuid)\n",
                 static_cast<unsigned>(accounts::realUserId()));
    std::exit(EXIT_FAILURE);
}

std::string QuillboreDel::getLoginName() {
    if (auto name = accounts::loginName()) return *name;
    std::fprintf(stderr, "getLoginName: no account record for user id %u (getpwuid)\n",
                 static_cast<unsigned>(accounts::realUserId()));
    std::exit(EXIT_FAILURE);
}

void QuillboreDel::doAlertWindow(const std::string& message, Window* win) {
    doAlertWindow(message, win, std::string());
}

void QuillboreDel::doAlertWindow(const std::string& message, Window* win,
                                 const std::string& detail) {
    if (!win) return;
    win->beginSheet(alertSaying(message, detail));
}

Alert QuillboreDel::alertSaying(const std::string& message, const std::string& detail) {
    Alert alert;
    alert.messageText = "Hey , " + getLoginName();
    alert.informativeText = message;
    alert.buttonTitle = "OK";
    alert.style = Alert::Style::Warning;
    alert.detailText = detail;
    return alert;
}

bool QuillboreDel::isLocked() const {
    return lockButtons && lockButtons->image() == image::LockLocked;
}

bool QuillboreDel::refuseWhenLocked() {
    if (!isLocked()) return false;
    doAlertWindow(kLockedMessage, mainWindow);
    return true;
}

std::unique_ptr<ChildProcess> QuillboreDel::unloadAgentKeys() {
    auto process = launcher_.create();
    // Emptying the agent is finished even when the application ends meanwhile.
    process->setDiesWithApplication(false);
    process->launch("/usr/bin/ssh-add", text::split("-D", " "), {}, true);
    return process;
}

std::string QuillboreDel::mixString(const std::string& text) {
    return cipher::mixString(text);
}

std::string QuillboreDel::encryptString(const std::string& text, const std::string& withKey) {
    return cipher::encryptString(text, withKey);
}

std::string QuillboreDel::decryptString(const std::string& text, const std::string& withKey) {
    return cipher::decryptString(text, withKey);
}

std::string QuillboreDel::serviceListPath() {
    return getUserDir() + "/" + kServiceListName;
}
std::string QuillboreDel::preferencesPath() {
    return getUserDir() + "/.QuillboreSSH";
}
std::string QuillboreDel::askpassPath() {
    return getUserDir() + "/.ssh-askpass";
}

std::shared_ptr<SSHTunnel> QuillboreDel::makeTunnel() {
    auto tunnel = std::make_shared<SSHTunnel>(runLoop_, launcher_, log_);
    tunnel->setDelegate(this);
    tunnel->setIdentity(++lastServiceId_);
    return tunnel;
}
