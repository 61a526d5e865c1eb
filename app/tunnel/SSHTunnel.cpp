#include "tunnel/SSHTunnel.h"

#include "platform/Text.h"

namespace {

// What a tunnel without a child handle answers: an ended child that could not be started
// (the status a launch failure gives).
constexpr int kNoChildStatus = 127;

constexpr double kFirstCheckDelay = 3.0;
constexpr double kCheckLoopInterval = 1.0;

} // namespace

SSHTunnel::SSHTunnel(RunLoop& runLoop, ProcessLauncher& launcher, SystemLog& log)
    : runLoop_(runLoop), launcher_(launcher), log_(log) {}

void SSHTunnel::setUser(const std::string& user, const std::string& pass, const std::string& server,
                        const std::string& listenOn, const std::string& newMode) {
    username = user;
    passwd = pass;
    serverAddress = server;
    port = listenOn;
    mode = newMode;
}

void SSHTunnel::setDelegate(SSHTunnelDelegate* newDelegate) {
    delegate = newDelegate;
}

void SSHTunnel::startService() {
    running = true;
    // The previous child, if any, is not signalled: dropping its handle leaves it to the
    // process layer, which reaps it once it ends.
    task = launcher_.create();
    Command command = buildCommand();
    if (task) task->launch(command.path, command.arguments, std::string(), false);

    // Exactly 3 s: the first checks of a start-all would otherwise share one wake-up and run
    // one after the other, each reloading the table, the last ones late. The steps that
    // follow are cheap and share theirs.
    runLoop_.scheduleOnceExactly(kFirstCheckDelay,
                                 [self = shared_from_this()] { self->serviceStatus(); });
    log_.write("Starting task: " + std::to_string(task ? task->processIdentifier() : 0));
}

void SSHTunnel::stopService() {
    if (!running) return;
    running = false;
    if (task) {
        task->interrupt();
        task->terminate();
        if (childAlive()) reapAfterStop();
    }
}

// The stopped child is not waited for, but it must not linger as a zombie: poll it once a
// second (a poll reaps an ended child) until it is gone or the tunnel has started again.
// The poll does not keep the tunnel alive; a dropped handle is reaped by the process layer.
void SSHTunnel::reapAfterStop() {
    runLoop_.scheduleOnce(kCheckLoopInterval, [weak = weak_from_this(), child = task.get()] {
        auto self = weak.lock();
        if (!self || self->running || self->task.get() != child) return;
        if (self->childAlive()) self->reapAfterStop();
    });
}

void SSHTunnel::serviceStatus() {
    if (childAlive()) {
        report("Starting...");
    } else if (running) {
        if (childExitStatus() == 0) {
            report("Running...");
        } else {
            report("Failed...");
            stopService();
            if (recon) {
                report("Retrying...");
                startService();
            }
        }
    } else {
        report("Error...");
    }
    doCheckLoop();
}

void SSHTunnel::doCheckLoop() {
    recon = false;
    if (!running) return;
    if (childAlive()) {
        runLoop_.scheduleOnce(kCheckLoopInterval,
                              [self = shared_from_this()] { self->doCheckLoop(); });
        return;
    }
    report(childExitStatus() != 0 ? "Connection Closed..." : "Service killed...");
    stopService();
    if (delegate && delegate->shouldIRetry()) {
        recon = true;
        report("Retring...");
        startService();
    }
}

void SSHTunnel::needsVerify() {
    if (childAlive()) {
        report("Running...");
    } else if (childExitStatus() != 0) {
        report("Failed...");
        stopService();
    } else {
        report("Running...");
    }
}

SSHTunnel::Command SSHTunnel::buildCommand() {
    const std::vector<std::string> pieces = text::split(mode, ": ");
    const bool dynamic = mode == "SOCKS";
    const bool reverse = !dynamic && pieces.size() > 1;
    const std::string target = reverse ? pieces[1] : mode;

    Command command;
    std::string line;
    if (delegate && delegate->whatsMyCommand()) {
        command.path = delegate->whatsMyCommandString();
        std::string tmpl = delegate->whatsMyVariables();
        tmpl = text::replaceAll(tmpl, "%u", username);
        tmpl = text::replaceAll(tmpl, "%h", serverAddress);
        tmpl = text::replaceAll(tmpl, "%p", passwd);
        if (dynamic)
            line = tmpl + " -D " + port + " -N";
        else if (reverse)
            line = tmpl + " -R " + port + ":" + target + " -N";
        else
            line = tmpl + " -L " + port + ":" + target + " -N";
    } else {
        command.path = "/usr/bin/ssh";
        const std::string destination = username + "@" + serverAddress;
        if (dynamic)
            line = "-D " + port + " " + destination + " -N";
        else if (reverse)
            line = "-R " + port + ":" + target + " " + destination + " -N";
        else
            line = destination + " -L " + port + ":" + target + " -N";
    }
    command.arguments = text::split(line, " ");
    return command;
}

bool SSHTunnel::childAlive() {
    return task && task->isRunning();
}

int SSHTunnel::childExitStatus() {
    return task ? task->exitStatus() : kNoChildStatus;
}

void SSHTunnel::report(const std::string& status) {
    if (delegate) delegate->updateMyStatus(status, *this);
}
