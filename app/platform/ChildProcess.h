// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// One child process, started by absolute path with an argument vector (argv[0] is the path).
// Standard output, standard error, the environment and the working directory are inherited.
// Standard input is a pipe: `stdinText` is written into it before the child starts; the
// write end stays open for the life of the handle unless `closeStdin` is set.
//
// A child that cannot be started behaves as one that ended at once with exit status 127.
// Dropping a handle never leaves a zombie: a child still running then is reaped when it ends.
class ChildProcess {
public:
    virtual ~ChildProcess() = default;

    // Before the launch: sets one variable of the child's environment, the rest inherited.
    virtual void setEnvironment(const std::string& name, const std::string& value) = 0;
    // Before the launch: whether the child is sent SIGTERM when the application dies (the
    // default), so that none outlives it. A child that must finish its work anyway says no.
    virtual void setDiesWithApplication(bool dies) = 0;

    virtual void launch(const std::string& path, const std::vector<std::string>& arguments,
                        const std::string& stdinText = {}, bool closeStdin = false) = 0;

    // Polls without blocking; reaps the child once it has ended.
    virtual bool isRunning() = 0;

    // The exit code, or the number of the signal that ended the child. Meaningful once
    // isRunning() has answered false; 0 before the launch.
    virtual int exitStatus() = 0;

    virtual pid_t processIdentifier() const = 0;

    // Blocks until the child has ended and is reaped, at most `seconds`; true when it has
    // ended (or never started). For the application's end only: nothing else waits.
    virtual bool waitForEnd(double seconds) = 0;

    // SIGINT and SIGTERM; no-ops once the child has ended.
    virtual void interrupt() = 0;
    virtual void terminate() = 0;

    // Called before launch(): the child's standard output and standard error then go into one
    // pipe instead of being inherited. Its read end, non-blocking and closed with the handle,
    // is outputDescriptor() (-1 without capture or when the child could not be started).
    virtual void captureOutput() {}
    virtual int outputDescriptor() const { return -1; }

    enum class OutputState { Waiting, Ended };
    // Appends to `into` what the pipe holds now, at most `limit` bytes, without blocking.
    // Ended: end of file (every writer has closed the pipe), or nothing was captured.
    virtual OutputState readOutput(std::string& into, std::size_t limit);
};

// Makes new, not yet launched, child-process handles. Tests pass in a scripted double.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    virtual std::unique_ptr<ChildProcess> create() = 0;
};
