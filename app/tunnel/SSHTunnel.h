#pragma once

#include "platform/ChildProcess.h"
#include "platform/RunLoop.h"
#include "platform/SystemLog.h"
#include "tunnel/SSHTunnelDelegate.h"
#include "tunnel/TunnelOutput.h"

#include <memory>
#include <string>
#include <vector>

// One tunnel service: at most one ssh (or own-command) child at a time, watched by a
// status check 3 s after each start and a check loop once a second while it lives.
// Always owned through std::shared_ptr: pending timers keep the tunnel alive.
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
    // "server:port": how the system log names this tunnel's lines.
    std::string logName() const { return serverAddress + ":" + port; }
    // Tells this tunnel apart from every other one of the run; set by the owner, never reused.
    unsigned long identity() const { return identity_; }
    void setIdentity(unsigned long id) { identity_ = id; }
    bool isReconnecting() const { return recon; }
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
    std::string warning_;
    // The rate limit of the lines passed on: the second counted and the lines held back.
    long long logSecond_ = 0;
    int loggedThisSecond_ = 0;
    long heldBack_ = 0;
};
