// SPDX-License-Identifier: GPL-3.0-or-later
#include "E2eApp.h"

#include "ProcessTable.h"

#include <unistd.h>

E2eApp::E2eApp() {
    ui.wire(controller);
    ui.wire(prefs, controller);
    // Our recording table in place of the layout's plain one.
    table_.app = this;
    controller.serviceList = &table_;
    table_.setDataSource(&controller);
}

E2eApp::~E2eApp() {
    if (launched_ && !terminated_) terminate();
}

void E2eApp::RecordingTable::reloadData() {
    MemoryTableView::reloadData();
    app->record();
}

void E2eApp::record() {
    if (!controller.theServiceList) return;
    const auto& list = *controller.theServiceList;
    for (std::size_t i = 0; i < list.size(); ++i) {
        auto& h = history_[static_cast<long>(i)];
        if (h.empty() || h.back() != list[i].status) h.push_back(list[i].status);
    }
}

void E2eApp::launch() {
    launched_ = true;
    controller.applicationDidFinishLaunching();
    record();
    // The status line reads "Idle..." from the start, so Start with no row selected could
    // start every service at once; the key files handed to ssh-add by the start sequence must
    // be in the agent first, or the tunnels are refused. ssh-add has been exec'd by now.
    runUntil(
        [] {
            for (const auto& child : proctable::childrenOf(::getpid()))
                if (child.command == "ssh-add" && child.state != 'Z') return false;
            return true;
        },
        10);
}

void E2eApp::terminate(double settleSeconds) {
    terminated_ = true;
    controller.applicationWillTerminate();
    runFor(settleSeconds);
}

void E2eApp::start(long row) {
    table_.clickRow(row);
    controller.gotsAClick(&table_);
    controller.startTunnel(&ui.startButton);
}

void E2eApp::stop(long row) {
    table_.clickRow(row);
    controller.gotsAClick(&table_);
    controller.stopTunnel(&ui.stopButton);
}

std::size_t E2eApp::rows() const {
    return controller.theServiceList ? controller.theServiceList->size() : 0;
}

std::string E2eApp::status(long row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows())
        return "(no row " + std::to_string(row) + ")";
    return (*controller.theServiceList)[static_cast<std::size_t>(row)].status;
}

const std::vector<std::string>& E2eApp::history(long row) {
    return history_[row];
}

std::string E2eApp::historyText(long row) {
    std::string out;
    for (const auto& s : history_[row])
        out += (out.empty() ? "" : " ") + s;
    return out;
}

bool E2eApp::tunnelRunning(long row) const {
    return static_cast<std::size_t>(row) < rows() &&
           (*controller.theServiceList)[static_cast<std::size_t>(row)].service->isRunning();
}

pid_t E2eApp::childPid(long row) const {
    if (static_cast<std::size_t>(row) >= rows()) return 0;
    ChildProcess* task =
        (*controller.theServiceList)[static_cast<std::size_t>(row)].service->currentTask();
    return task ? task->processIdentifier() : 0;
}

std::vector<std::string> E2eApp::alerts() const {
    return ui.mainWindow.alertTexts();
}

bool E2eApp::waitForStatus(long row, const std::string& wanted, double timeoutSeconds) {
    return runUntil([&] { return status(row) == wanted; }, timeoutSeconds);
}

bool E2eApp::waitForStatusAfter(long row, std::size_t afterIndex, const std::string& wanted,
                                double timeoutSeconds) {
    return runUntil(
        [&] {
            const auto& h = history_[row];
            for (std::size_t i = afterIndex; i < h.size(); ++i)
                if (h[i] == wanted) return true;
            return false;
        },
        timeoutSeconds);
}

bool E2eApp::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
    return runLoop.runUntil(done, timeoutSeconds);
}

void E2eApp::runFor(double seconds) {
    runLoop.runFor(seconds);
}
