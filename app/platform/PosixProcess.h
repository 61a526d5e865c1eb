// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ChildProcess.h"

#include <string>
#include <vector>

// A child started with execv, after a clone that shares the application's memory up to the
// exec on Linux (fork elsewhere). The parent learns of a failed exec through a close-on-exec
// pipe, so a child that cannot be started is known at launch() and looks like one that
// ended at once with status 127 (should that pipe fail to be read, launch() never waits: the
// child counts as started and, if its exec failed, ends at once with 127 by itself). Only the
// pid it started is ever waited for or signalled.
//
// The standard-input text is written into the pipe before the start, so it must fit in the
// pipe buffer (64 KiB, grown up to the system limit on Linux); anything beyond is dropped.
// On Linux the child is sent SIGTERM when the thread that launched it ends, which in the
// application is the main thread, i.e. when the application dies (unless told otherwise).
class PosixProcess : public ChildProcess {
public:
    PosixProcess() = default;
    ~PosixProcess() override;
    PosixProcess(const PosixProcess&) = delete;
    PosixProcess& operator=(const PosixProcess&) = delete;

    void setEnvironment(const std::string& name, const std::string& value) override;
    void setDiesWithApplication(bool dies) override { diesWithApplication_ = dies; }
    // A handle launches at most once; a second call does nothing.
    void launch(const std::string& path, const std::vector<std::string>& arguments,
                const std::string& stdinText = {}, bool closeStdin = false) override;
    bool isRunning() override;
    int exitStatus() override { return status_; }
    pid_t processIdentifier() const override { return pid_; }
    bool waitForEnd(double seconds) override;
    void interrupt() override;
    void terminate() override;
    void captureOutput() override { captureOutput_ = true; }
    int outputDescriptor() const override { return outputRead_; }

private:
    void sendSignal(int number);
    void recordEnd(int waitStatus);
    void endAtOnce();

    bool launched_ = false;
    bool reaped_ = false;
    pid_t pid_ = 0;
    int status_ = 0;
    int stdinWrite_ = -1;
    bool captureOutput_ = false;
    int outputRead_ = -1;
    bool diesWithApplication_ = true;
    std::vector<std::string> environment_; // "NAME=value" entries that replace inherited ones
};
