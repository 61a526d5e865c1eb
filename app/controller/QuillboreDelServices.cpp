// SPDX-License-Identifier: GPL-3.0-or-later
// Starting and stopping services, the status line, the tunnels' delegate side.
#include "controller/QuillboreDel.h"
#include "platform/Files.h"
#include "store/Cipher.h"

#include <algorithm>
#include <cstddef>
#include <string>

namespace {

constexpr const char* kIdle = "Idle...";
constexpr const char* kStarting = "Starting...";
constexpr const char* kFailed = "Failed...";
constexpr const char* kRunning = "Running...";

constexpr const char* kDelayMessage =
    "There will be a slight delay in starting each service, be patient.";
constexpr const char* kAlreadySomeRunning = "You have at least one service running already, you "
                                            "will have to manually click start on each one.";
constexpr const char* kAlreadyRunning =
    "Service is already running. Maybe do a stop and then try to start it.";
constexpr const char* kAlreadyStopped =
    "Service is already not running. Maybe do a start and then try to stop it.";
constexpr const char* kNoService = "There is no such service.";
constexpr const char* kFailedMessage =
    "It appears a tunnel service has failed. Check your password and/or internet connection. If "
    "you have not connected via ssh before you will need to do so and generate the key file "
    "before this app will work. If you don't have a RSK key for the server you will need to use "
    "a command line utility to manage the passwords like sshpass.";

std::size_t entryCount(const QuillboreDel& c) {
    return c.theServiceList ? c.theServiceList->size() : 0;
}

bool isRunningAt(const QuillboreDel& c, std::size_t i) {
    const auto& tunnel = (*c.theServiceList)[i].service;
    return tunnel && tunnel->isRunning();
}

// Entries are values: the status change builds a new entry at the same index.
void setStatusAt(QuillboreDel& c, std::size_t i, const std::string& status) {
    auto& list = *c.theServiceList;
    list[i] = list[i].withStatus(status);
    if (c.serviceList) c.serviceList->reloadData();
    if (c.statusDidChange && i < list.size()) c.statusDidChange(list[i]);
}

bool writesAskpassFile(const QuillboreDel& c) {
    return c.use_ssh_askpass && !c.has_prompt;
}

// The file an askpass program reads: the password scrambled with the login name as key.
// A failed write is not reported; the service starts all the same. A link in its place is
// replaced, not written through: removing the file must leave no password behind.
void writeAskpassFile(QuillboreDel& c, const std::string& password) {
    files::writeAtomically(c.askpassPath(), cipher::encryptString(password, c.getLoginName()),
                           files::Links::Replace);
}

void startTunnelAt(QuillboreDel& c, std::size_t i) {
    // Hold the tunnel: a reload in between must not be able to drop it mid-call.
    auto tunnel = (*c.theServiceList)[i].service;
    if (!tunnel) return;
    tunnel->startService();
    const ChildProcess* task = tunnel->currentTask();
    c.logEvent(*tunnel, "start (pid " + std::to_string(task ? task->processIdentifier() : 0) + ")");
}

// The last lines that the failed child wrote, for the failure alert, and what the tunnel found
// wrong with its forward.
std::string failureDetail(const SSHTunnel& tunnel) {
    std::string detail;
    for (const auto& line :
         tunnel.output().linesSince(tunnel.outputMarkAtStart(), QuillboreDel::kAlertDetailLines))
        detail += (detail.empty() ? "" : "\n") + line.text;
    if (!tunnel.warning().empty()) detail += (detail.empty() ? "" : "\n") + tunnel.warning();
    return detail;
}

void stopTunnelAt(QuillboreDel& c, std::size_t i) {
    auto tunnel = (*c.theServiceList)[i].service;
    if (tunnel) tunnel->setWarning({}); // the row shows the stop without the old mark
    setStatusAt(c, i, kIdle);
    if (!tunnel) return;
    tunnel->stopService();
    c.logEvent(*tunnel, "stop");
}

} // namespace

std::string QuillboreDel::refusalText(Refusal refusal) {
    switch (refusal) {
    case Refusal::None:
        return {};
    case Refusal::Locked:
        return kLockedMessage;
    case Refusal::AlreadyRunning:
        return kAlreadyRunning;
    case Refusal::AlreadyStopped:
        return kAlreadyStopped;
    case Refusal::SomeRunning:
        return kAlreadySomeRunning;
    case Refusal::NoService:
        return kNoService;
    }
    return {};
}

QuillboreDel::Refusal QuillboreDel::refuse(Refusal refusal, Window* tellOn) {
    // A service that is gone is nothing to show in a window (a tray entry of a removed row).
    if (refusal != Refusal::NoService) doAlertWindow(refusalText(refusal), tellOn);
    return refusal;
}

bool QuillboreDel::refusedAsLocked(Window* tellOn) {
    if (!isLocked()) return false;
    refuse(Refusal::Locked, tellOn);
    return true;
}

std::shared_ptr<SSHTunnel> QuillboreDel::serviceAt(long row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= entryCount(*this)) return nullptr;
    return (*theServiceList)[static_cast<std::size_t>(row)].service;
}

QuillboreDel::Refusal QuillboreDel::startOne(const std::shared_ptr<SSHTunnel>& service,
                                             Window* tellOn) {
    if (refusedAsLocked(tellOn)) return Refusal::Locked;
    const std::optional<std::size_t> row = rowOfService(service);
    if (!row) return refuse(Refusal::NoService, tellOn);
    Refusal refusal = Refusal::None;
    if (isRunningAt(*this, *row) || hasPendingStart(service)) {
        refusal = refuse(Refusal::AlreadyRunning, tellOn);
    } else if (use_ssh_askpass) {
        log().write("use ssh");
        if (!has_prompt) log().write("use ssh no prompt");
        queueStart(service);
    } else {
        setStatusAt(*this, *row, kStarting);
        startTunnelAt(*this, *row);
    }
    afterStart();
    return refusal;
}

QuillboreDel::Refusal QuillboreDel::startAll(Window* tellOn) {
    if (refusedAsLocked(tellOn)) return Refusal::Locked;
    Refusal refusal = Refusal::None;
    if (!statusText || statusText->stringValue() != kIdle) {
        refusal = refuse(Refusal::SomeRunning, tellOn);
    } else if (use_ssh_askpass) {
        doAlertWindow(kDelayMessage, tellOn);
        for (const ServiceEntry& entry : *theServiceList)
            if (entry.service && !entry.service->isRunning() && !hasPendingStart(entry.service))
                queueStart(entry.service);
    } else {
        for (std::size_t i = 0; i < entryCount(*this); ++i) {
            if (isRunningAt(*this, i)) continue;
            setStatusAt(*this, i, kStarting);
            startTunnelAt(*this, i);
        }
    }
    afterStart();
    return refusal;
}

QuillboreDel::Refusal QuillboreDel::stopOne(const std::shared_ptr<SSHTunnel>& service,
                                            Window* tellOn) {
    if (refusedAsLocked(tellOn)) return Refusal::Locked;
    const std::optional<std::size_t> row = rowOfService(service);
    if (!row) return refuse(Refusal::NoService, tellOn);
    Refusal refusal = Refusal::None;
    if (isRunningAt(*this, *row))
        stopTunnelAt(*this, *row);
    else if (!dropPendingStart(service))
        refusal = refuse(Refusal::AlreadyStopped, tellOn);
    updateStatus();
    return refusal;
}

QuillboreDel::Refusal QuillboreDel::stopAll(Window* tellOn) {
    if (refusedAsLocked(tellOn)) return Refusal::Locked;
    endStartChain();
    for (std::size_t i = 0; i < entryCount(*this); ++i)
        if (isRunningAt(*this, i)) stopTunnelAt(*this, i);
    updateStatus();
    return Refusal::None;
}

void QuillboreDel::afterStart() {
    if (writesAskpassFile(*this)) {
        // Never stopped: the controller lives for the whole run.
        runLoop().scheduleRepeating(10.0, [this] { unlinkFile(); });
    }
    updateStatus();
}

// In askpass mode the services start one after the other, kAskpassSpacing apart, so that each
// ssh reads its own password from the one askpass file before the next start rewrites it. The
// window stays live meanwhile; any start asked for in between waits its turn.
void QuillboreDel::queueStart(const std::shared_ptr<SSHTunnel>& service) {
    startQueue_.push_back(service);
    if (!nextStart_) startNextQueued();
}

bool QuillboreDel::hasPendingStart(const std::shared_ptr<SSHTunnel>& service) const {
    return std::any_of(startQueue_.begin(), startQueue_.end(),
                       [&](const auto& queued) { return queued.lock() == service; });
}

bool QuillboreDel::dropPendingStart(const std::shared_ptr<SSHTunnel>& service) {
    return std::erase_if(startQueue_,
                         [&](const auto& queued) { return queued.lock() == service; }) > 0;
}

void QuillboreDel::startNextQueued() {
    nextStart_.reset();
    while (!startQueue_.empty()) {
        const std::shared_ptr<SSHTunnel> service = startQueue_.front().lock();
        startQueue_.pop_front();
        const std::optional<std::size_t> row = rowOfService(service);
        if (!row || service->isRunning()) continue; // removed or started meanwhile
        setStatusAt(*this, *row, kStarting);
        if (writesAskpassFile(*this)) writeAskpassFile(*this, (*theServiceList)[*row].password);
        startTunnelAt(*this, *row);
        nextStart_ = runLoop().scheduleOnce(kAskpassSpacing, [this] { startNextQueued(); });
        updateStatus();
        return;
    }
}

void QuillboreDel::endStartChain() {
    startQueue_.clear();
    // The spacing after the last start stays: the file of that start must still be read.
}

void QuillboreDel::startTunnel(Control*) {
    if (refuseWhenLocked()) return;
    if (!serviceList || serviceList->selectedRow() < 0)
        startAll(mainWindow);
    else if (auto service = serviceAt(serviceList->selectedRow()))
        startOne(service, mainWindow);
    else
        afterStart();
}

void QuillboreDel::stopTunnel(Control*) {
    if (refuseWhenLocked()) return;
    if (!serviceList || serviceList->selectedRow() < 0)
        stopAll(mainWindow);
    else if (auto service = serviceAt(serviceList->selectedRow()))
        stopOne(service, mainWindow);
    else
        updateStatus();
}

void QuillboreDel::updateStatus() {
    if (selectedRow >= 0 && serviceList) serviceList->selectRow(static_cast<long>(selectedRow));
    int running = 0;
    bool recovering = false;
    for (std::size_t i = 0; i < entryCount(*this); ++i) {
        if (!isRunningAt(*this, i)) continue;
        ++running;
        recovering = recovering || (*theServiceList)[i].service->isRecovering();
    }
    if (!recovering) outageAlerted_ = false;
    if (running > 0) {
        if (wheelie) wheelie->startAnimation();
        if (statusText)
            statusText->setStringValue(std::to_string(running) +
                                       " Tunneling services are running...");
    } else {
        if (wheelie) wheelie->stopAnimation();
        if (statusText) statusText->setStringValue(kIdle);
    }
    if (statusLineDidChange) statusLineDidChange();
}

void QuillboreDel::unlinkFile() {
    files::remove(askpassPath());
}

bool QuillboreDel::whatsMyCommand() {
    return use_my_command;
}
std::string QuillboreDel::whatsMyCommandString() {
    return heres_my_command;
}
std::string QuillboreDel::whatsMyVariables() {
    return heres_my_arguments;
}
bool QuillboreDel::shouldIRetry() {
    return recon;
}

void QuillboreDel::updateMyStatus(const std::string& status, SSHTunnel& with) {
    // A tunnel whose entry was removed still reports; it matches no row but the alert and
    // the verification below still apply to it.
    for (std::size_t i = 0; i < entryCount(*this); ++i)
        if ((*theServiceList)[i].service.get() == &with) setStatusAt(*this, i, status);
    logEvent(with, "status " + status);
    if (status == kRunning) checkForward(with);
    if (status == kFailed && with.failureWillBeRetried())
        alertOutage(with);
    else if (status == kFailed)
        alertFailure(with, !with.isRestart());
    else if (status == kStarting)
        with.needsVerify(); // reports again, nested, before this returns
    updateStatus();
}

// One outage (the services of a server that went away, say) gives one failure alert, not one
// per service and try. The outage ends when no service is recovering any more (updateStatus).
void QuillboreDel::alertOutage(SSHTunnel& failed) {
    if (outageAlerted_) return;
    outageAlerted_ = true;
    alertFailure(failed, false);
}

// The product's failure text with the child's last words under it. A changed host key is
// explained there; a server ssh has never seen may be trusted from the alert.
void QuillboreDel::alertFailure(SSHTunnel& failed, bool mayTrust) {
    if (!mainWindow) return;
    const hostkeys::Refusal refusal = hostKeyRefusal(failed);
    std::string detail = failureDetail(failed);
    if (refusal.kind == hostkeys::Refusal::Kind::Changed)
        detail = hostkeys::changedKeyText(refusal, getUserDir()) +
                 (detail.empty() ? "" : "\n\n" + detail);
    Alert alert = alertSaying(kFailedMessage, detail);
    if (mayTrust && refusal.kind == hostkeys::Refusal::Kind::Unknown) {
        alert.otherButtonTitle = kTrustButton;
        alert.otherAction = laterOn(failed.shared_from_this(),
                                    [this](const auto& service) { trustServer(service); });
    }
    mainWindow->beginSheet(alert);
}

std::vector<std::string> QuillboreDel::builtInOptions(const std::string& destination) {
    const SshConfigQuery::Settings set =
        sshConfig ? sshConfig->settingsFor(destination) : SshConfigQuery::Settings{};
    std::vector<std::string> options;
    if (!set.serverAliveInterval)
        options.insert(options.end(),
                       {"-o", "ServerAliveInterval=15", "-o", "ServerAliveCountMax=3"});
    if (!set.exitOnForwardFailure)
        options.insert(options.end(), {"-o", "ExitOnForwardFailure=yes"});
    return options;
}
