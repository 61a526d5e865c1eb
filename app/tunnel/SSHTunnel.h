// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ChildProcess.h"
#include "platform/RunLoop.h"
#include "platform/SystemLog.h"
#include "tunnel/SSHTunnelDelegate.h"
#include "tunnel/TunnelOutput.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One tunnel service: at most one ssh (or own-command) child at a time, watched by a
// status check 3 s after each start and a check loop once a second while it lives.
// Always owned through std::shared_ptr: pending timers keep the tunnel alive.
//
// Restarts: when the child of a service that was up ends, it is restarted at once. When such
// a restart fails, the tunnel stays meant to be up ("Retrying...") and tries again after a
// delay that doubles from 2 s up to 30 s, until it runs again or is stopped; a server that
// refused the login is not asked again. Once up again for a minute, the next end is
// restarted at once again.
// The child's standard output and error are read from a pipe as the run loop finds them
// ready: kept (TunnelOutput), written to the system log after "server:port: " and passed
// to the delegate, at most kLoggedLinesPerSecond lines a second.
class SSHTunnel : public std::enable_shared_from_this<SSHTunnel> {
public:
    struct Command {
        std::string path;
        std::vector<std::string> arguments; // without argv[0]
    };

    SSHTunnel(RunLoop& runLoop, ProcessLauncher& launcher, SystemLog& log);

    void setUser(const std::string& user, const std::string& pass, const std::string& server,
                 const std::string& listenOn, const std::string& mode);
    void setDelegate(SSHTunnelDelegate* delegate);

    // The owner's start: a new service run, with no failed restarts behind it.
    void startService();
    void stopService();
    bool isRunning() const { return running; }

    // Supervision.
    void serviceStatus();
    void doCheckLoop();
    void needsVerify();

    // The program and argument vector the next start would run (asks the delegate).
    Command buildCommand();

    const std::string& userName() const { return username; }
    const std::string& password() const { return passwd; }
    const std::string& server() const { return serverAddress; }
    const std::string& tunnelMode() const { return mode; }
    const std::string& listenPort() const { return port; }
    // "user@server": what the built-in ssh is told to reach.
    std::string destination() const { return username + "@" + serverAddress; }
    // "server:port": how the system log names this tunnel's lines.
    std::string logName() const { return serverAddress + ":" + port; }
    // Tells this tunnel apart from every other one of the run; set by the owner, never reused.
    unsigned long identity() const { return identity_; }
    void setIdentity(unsigned long id) { identity_ = id; }
    bool isReconnecting() const { return recon; }

    static constexpr double kFirstRetryDelay = 2.0;
    static constexpr double kMaxRetryDelay = 30.0;
    // Up this long, a service counts as settled: its next drop is restarted at once.
    static constexpr double kSettledSeconds = 60.0;
    // The wait before the next try after `failedRestarts` failed restarts in a row (1 or more).
    static double retryDelay(int failedRestarts);
    // The current child was started by the supervision, not by the owner.
    bool isRestart() const { return byRestart_; }
    // While a failed restart waits for its next try: when that comes.
    std::optional<std::chrono::system_clock::time_point> nextRetry() const;
    // The "Failed..." being reported is followed by a later try (not a stop).
    bool failureWillBeRetried() const { return failureRetried_; }
    // Ended after it was up, and not up again since (nor stopped).
    bool isRecovering() const { return running && recovering_; }
    ChildProcess* currentTask() const { return task.get(); }

    static constexpr int kLoggedLinesPerSecond = 100;
    const TunnelOutput& output() const { return output_; }
    // output().totalLines() when the current child was started.
    std::size_t outputMarkAtStart() const { return outputMark_; }
    // How many times the tunnel has been started: tells apart the children of one tunnel.
    unsigned long startCount() const { return starts_; }
    // A problem with the forward that the status text does not show; cleared at every start.
    const std::string& warning() const { return warning_; }
    void setWarning(const std::string& text) { warning_ = text; }

private:
    void launch();
    void restart();
    void markUp();
    bool settled() const;
    // After a failed child: whether the supervision tries again.
    bool retriesAfterFailure() const;
    void reportFailure();
    void retryLater();
    void cancelRetry();
    // The server refused the login of the current child ("Permission denied").
    bool loginRefused() const;
    void report(const std::string& status);
    void watchOutput();
    // Reads what the child wrote, at most `budget` bytes, and passes the lines on.
    void readOutput(std::size_t budget);
    // `last`: the output has ended, so the count of lines held back is told now.
    void passOn(const std::vector<std::string>& lines, bool last);
    void emitHeldBack();
    void emitLine(const std::string& line);
    void reapAfterStop();
    // A missing handle counts as a child that ended without being started.
    bool childAlive();
    int childExitStatus();

    RunLoop& runLoop_;
    ProcessLauncher& launcher_;
    SystemLog& log_;

    std::unique_ptr<ChildProcess> task;
    std::string username;
    std::string passwd;
    std::string serverAddress;
    std::string mode;
    std::string port;
    bool running = false;
    bool recon = false;
    SSHTunnelDelegate* delegate = nullptr;

    TunnelOutput output_;
    std::shared_ptr<DescriptorWatch> outputWatch_;
    std::size_t outputMark_ = 0;
    unsigned long starts_ = 0;
    unsigned long identity_ = 0;
    bool byRestart_ = false;
    bool recovering_ = false;
    bool failureRetried_ = false;
    int failedRestarts_ = 0;
    std::optional<std::chrono::steady_clock::time_point> upSince_;
    std::shared_ptr<Timer> retryTimer_;
    std::chrono::system_clock::time_point retryAt_;
    std::string warning_;
    // The rate limit of the lines passed on: the second counted and the lines held back.
    long long logSecond_ = 0;
    int loggedThisSecond_ = 0;
    long heldBack_ = 0;
};
