#pragma once

#include "platform/ChildProcess.h"
#include "platform/RunLoop.h"
#include "platform/SystemLog.h"
#include "tunnel/SSHTunnelDelegate.h"

#include <memory>
#include <string>
#include <vector>

// One tunnel service: at most one ssh (or own-command) child at a time, watched by a
// status check 3 s after each start and a check loop once a second while it lives.
// Always owned through std::shared_ptr: pending timers keep the tunnel alive.
class SSHTunnel : public std::enable_shared_from_this<SSHTunnel> {
public:
    struct Command {
        std::string path;
        std::vector<std::string> arguments;  // without argv[0]
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
    bool isReconnecting() const { return recon; }
    ChildProcess* currentTask() const { return task.get(); }

private:
    void report(const std::string& status);
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
};
