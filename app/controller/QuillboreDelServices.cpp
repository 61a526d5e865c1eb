// Starting and stopping services, the status line, the tunnels' delegate side.
#include "controller/QuillboreDel.h"
#include "platform/Files.h"
#include "store/Cipher.h"

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

// The table's selected row as an index of the list, or -1 for none (or one past the list).
long selectedIndex(const QuillboreDel& c) {
    long row = c.serviceList ? c.serviceList->selectedRow() : -1;
    if (row < 0 || static_cast<std::size_t>(row) >= entryCount(c)) return -1;
    return row;
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

// The last lines that the failed child wrote, for the failure alert.
std::string failureDetail(const SSHTunnel& tunnel) {
    std::string detail;
    for (const auto& line :
         tunnel.output().linesSince(tunnel.outputMarkAtStart(), QuillboreDel::kAlertDetailLines))
        detail += (detail.empty() ? "" : "\n") + line.text;
    return detail;
}

void startAll(QuillboreDel& c) {
    if (!c.statusText || c.statusText->stringValue() != kIdle) {
        c.doAlertWindow(kAlreadySomeRunning, c.mainWindow);
        return;
    }
    if (c.use_ssh_askpass) c.doAlertWindow(kDelayMessage, c.mainWindow);
    for (std::size_t i = 0; i < entryCount(c); ++i) {
        if (isRunningAt(c, i)) continue;
        setStatusAt(c, i, kStarting);
        if (writesAskpassFile(c)) writeAskpassFile(c, (*c.theServiceList)[i].password);
        startTunnelAt(c, i);
        if (c.serviceList) c.serviceList->reloadData();
        // Gives the askpass program time to read this service's file before the next one
        // replaces it.
        if (c.use_ssh_askpass) c.runLoop().pause(2.0);
    }
}

void startOne(QuillboreDel& c, std::size_t i) {
    if (isRunningAt(c, i)) {
        c.doAlertWindow(kAlreadyRunning, c.mainWindow);
        return;
    }
    setStatusAt(c, i, kStarting);
    if (c.use_ssh_askpass) {
        c.log().write("use ssh");
        if (!c.has_prompt) {
            c.log().write("use ssh no prompt");
            writeAskpassFile(c, (*c.theServiceList)[i].password);
        }
    }
    startTunnelAt(c, i);
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

void QuillboreDel::startTunnel(Control*) {
    if (refuseWhenLocked()) return;
    if (!serviceList || serviceList->selectedRow() < 0) {
        startAll(*this);
    } else if (long row = selectedIndex(*this); row >= 0) {
        startOne(*this, static_cast<std::size_t>(row));
    }
    if (writesAskpassFile(*this)) {
        // Never stopped: the controller lives for the whole run.
        runLoop().scheduleRepeating(10.0, [this] { unlinkFile(); });
    }
    updateStatus();
}

void QuillboreDel::stopTunnel(Control*) {
    if (refuseWhenLocked()) return;
    if (!serviceList || serviceList->selectedRow() < 0) {
        for (std::size_t i = 0; i < entryCount(*this); ++i)
            if (isRunningAt(*this, i)) stopTunnelAt(*this, i);
    } else if (long row = selectedIndex(*this); row >= 0) {
        if (isRunningAt(*this, static_cast<std::size_t>(row)))
            stopTunnelAt(*this, static_cast<std::size_t>(row));
        else
            doAlertWindow(kAlreadyStopped, mainWindow);
    }
    updateStatus();
}

void QuillboreDel::updateStatus() {
    if (selectedRow >= 0 && serviceList) serviceList->selectRow(static_cast<long>(selectedRow));
    int running = 0;
    for (std::size_t i = 0; i < entryCount(*this); ++i)
        if (isRunningAt(*this, i)) ++running;
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
    if (status == kFailed)
        doAlertWindow(kFailedMessage, mainWindow, failureDetail(with));
    else if (status == kStarting)
        with.needsVerify(); // reports again, nested, before this returns
    updateStatus();
}
