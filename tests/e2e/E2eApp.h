// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CapturingLog.h"
#include "FakeAuthorizer.h"
#include "MemoryLayout.h"
#include "controller/MyPrefs.h"
#include "controller/QuillboreDel.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/PosixRunLoop.h"

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// The application without its windows: the real controller with the in-memory toolkit, the
// real run loop and real child processes. Every status a row showed is recorded, in order,
// so quick successions ("Connection Closed...", "Retring...") are not missed between polls.
class E2eApp {
public:
    E2eApp();
    ~E2eApp(); // ends the application (applicationWillTerminate) if a test did not

    // applicationDidFinishLaunching: preferences and service list from the home files.
    void launch();
    // applicationWillTerminate, then the run loop for `settleSeconds` (pending checks run).
    void terminate(double settleSeconds = 1.5);

    // The user clicks a row (-1: empty space) and presses Start or Stop.
    void start(long row);
    void stop(long row);

    std::size_t rows() const;
    std::string status(long row) const;
    // Every status the row has shown since launch, consecutive repeats folded.
    const std::vector<std::string>& history(long row);
    // The history from the first `from` onwards, as one line for messages.
    std::string historyText(long row);
    bool tunnelRunning(long row) const;
    // The pid of the row's current child, 0 before its first start.
    pid_t childPid(long row) const;
    std::vector<std::string> alerts() const;

    // Runs the application until the row shows `status`, at most `timeoutSeconds`.
    bool waitForStatus(long row, const std::string& status, double timeoutSeconds);
    // Runs the application until the row has shown `status` after `afterIndex` in its history.
    bool waitForStatusAfter(long row, std::size_t afterIndex, const std::string& status,
                            double timeoutSeconds);
    bool runUntil(const std::function<bool()>& done, double timeoutSeconds);
    void runFor(double seconds);

    PosixRunLoop runLoop;
    PosixProcessLauncher launcher;
    CapturingLog log;
    FakeAuthorizer authorizer;
    MemoryLayout ui;
    QuillboreDel controller{runLoop, launcher, log, authorizer};
    MyPrefs prefs;

private:
    class RecordingTable : public MemoryTableView {
    public:
        void reloadData() override;
        E2eApp* app = nullptr;
    };
    void record();

    RecordingTable table_;
    std::map<long, std::vector<std::string>> history_;
    bool launched_ = false;
    bool terminated_ = false;
};
