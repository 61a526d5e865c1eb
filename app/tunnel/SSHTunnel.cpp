// SPDX-License-Identifier: GPL-3.0-or-later
#include "tunnel/SSHTunnel.h"

#include "platform/Text.h"

#include <algorithm>

namespace {

// What a tunnel without a child handle answers: an ended child that could not be started
// (the status a launch failure gives).
constexpr int kNoChildStatus = 127;

constexpr double kFirstCheckDelay = 3.0;
constexpr double kCheckLoopInterval = 1.0;

// Bytes read per wake-up of the run loop, so a flooding child cannot hold up the window; and
// at most per drain of an ended child.
constexpr std::size_t kReadBudget = 256 * 1024;
constexpr std::size_t kDrainBudget = 1024 * 1024;

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
    byRestart_ = false;
    recovering_ = false;
    failedRestarts_ = 0;
    upSince_.reset();
    cancelRetry();
    launch();
}

void SSHTunnel::restart() {
    byRestart_ = true;
    launch();
}

void SSHTunnel::launch() {
    running = true;
    failureRetried_ = false;
    // The last words of the previous child, then its pipe is let go with its handle; an
    // unfinished last line of it ends there, so it cannot run into the new child's first.
    if (task) readOutput(kDrainBudget);
    if (outputWatch_) {
        outputWatch_->invalidate();
        outputWatch_.reset();
        passOn(output_.finish(runLoop_.wallClock()), true);
    }
    output_.setSecret(passwd);
    outputMark_ = output_.totalLines();
    warning_.clear();
    ++starts_;
    // The previous child, if any, is not signalled: dropping its handle leaves it to the
    // process layer, which reaps it once it ends.
    task = launcher_.create();
    Command command = buildCommand();
    if (task) {
        task->captureOutput();
        task->launch(command.path, command.arguments, std::string(), false);
        watchOutput();
    }

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
    cancelRetry();
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
            markUp();
            report("Running...");
        } else {
            reportFailure();
        }
    } else {
        report("Error...");
    }
    doCheckLoop();
}

void SSHTunnel::doCheckLoop() {
    recon = false;
    if (!running || retryTimer_) return; // stopped, or waiting for the next try
    if (childAlive()) {
        runLoop_.scheduleOnce(kCheckLoopInterval,
                              [self = shared_from_this()] { self->doCheckLoop(); });
        return;
    }
    report(childExitStatus() != 0 ? "Connection Closed..." : "Service killed...");
    stopService();
    if (!delegate || !delegate->shouldIRetry()) return;
    recovering_ = true;
    recon = true;
    // Came up again after failed restarts, but not for long: the server is not back for good.
    if (failedRestarts_ > 0 && !settled()) {
        retryLater();
        return;
    }
    failedRestarts_ = 0;
    report("Retring...");
    restart();
}

void SSHTunnel::needsVerify() {
    if (childAlive()) {
        markUp();
        report("Running...");
    } else if (childExitStatus() != 0) {
        reportFailure();
    } else {
        markUp();
        report("Running...");
    }
}

// "Failed...", and the service stopped; a failed restart is tried again later instead, as
// long as reconnection is on and the server did not refuse the login.
void SSHTunnel::reportFailure() {
    failureRetried_ = retriesAfterFailure();
    report("Failed...");
    stopService();
    if (failureRetried_) retryLater();
}

bool SSHTunnel::retriesAfterFailure() const {
    return byRestart_ && delegate && delegate->shouldIRetry() && !loginRefused();
}

void SSHTunnel::retryLater() {
    running = true; // still meant to be up while it waits
    recovering_ = true;
    const double delay = retryDelay(++failedRestarts_);
    retryAt_ =
        runLoop_.wallClock() + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                   std::chrono::duration<double>(delay));
    retryTimer_ = runLoop_.scheduleOnce(delay, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self || !self->retryTimer_) return;
        self->retryTimer_.reset();
        self->restart();
    });
    report("Retrying...");
}

void SSHTunnel::cancelRetry() {
    if (!retryTimer_) return;
    retryTimer_->invalidate();
    retryTimer_.reset();
}

double SSHTunnel::retryDelay(int failedRestarts) {
    double delay = kFirstRetryDelay;
    for (int i = 1; i < failedRestarts && delay < kMaxRetryDelay; ++i)
        delay *= 2;
    return std::min(delay, kMaxRetryDelay);
}

std::optional<std::chrono::system_clock::time_point> SSHTunnel::nextRetry() const {
    if (!retryTimer_) return std::nullopt;
    return retryAt_;
}

void SSHTunnel::markUp() {
    recovering_ = false;
    upSince_ = runLoop_.monotonicClock();
}

bool SSHTunnel::settled() const {
    return upSince_ &&
           runLoop_.monotonicClock() - *upSince_ >= std::chrono::duration<double>(kSettledSeconds);
}

bool SSHTunnel::loginRefused() const {
    for (const auto& line : output_.linesSince(outputMark_, TunnelOutput::kMaxLines))
        if (line.text.find("Permission denied") != std::string::npos) return true;
    return false;
}

SSHTunnel::Command SSHTunnel::buildCommand() {
    const std::vector<std::string> pieces = text::split(mode, ": ");
    const bool dynamic = mode == "SOCKS";
    const bool reverse = !dynamic && pieces.size() > 1;
    const std::string target = reverse ? pieces[1] : mode;

    Command command;
    std::vector<std::string> options;
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
        const std::string destination = this->destination();
        if (delegate) options = delegate->builtInOptions(destination);
        if (dynamic)
            line = "-D " + port + " " + destination + " -N";
        else if (reverse)
            line = "-R " + port + ":" + target + " " + destination + " -N";
        else
            line = destination + " -L " + port + ":" + target + " -N";
    }
    command.arguments = std::move(options);
    for (std::string& argument : text::split(line, " "))
        command.arguments.push_back(std::move(argument));
    return command;
}

// An ended child's last words are read before anything is reported about its end.
bool SSHTunnel::childAlive() {
    const bool alive = task && task->isRunning();
    if (!alive && task) readOutput(kDrainBudget);
    return alive;
}

void SSHTunnel::watchOutput() {
    const int fd = task->outputDescriptor();
    if (fd < 0) return;
    outputWatch_ = runLoop_.watchDescriptor(fd, RunLoop::Readiness::Read,
                                            [weak = weak_from_this(), child = task.get()] {
                                                auto self = weak.lock();
                                                if (self && self->task.get() == child)
                                                    self->readOutput(kReadBudget);
                                            });
}

void SSHTunnel::readOutput(std::size_t budget) {
    if (!task || task->outputDescriptor() < 0) return;
    std::string bytes;
    const bool ended = task->readOutput(bytes, budget) == ChildProcess::OutputState::Ended;
    const auto now = runLoop_.wallClock();
    passOn(output_.append(bytes, now), false);
    if (!ended || !outputWatch_) return;
    outputWatch_->invalidate();
    outputWatch_.reset();
    passOn(output_.finish(now), true);
}

void SSHTunnel::passOn(const std::vector<std::string>& lines, bool last) {
    const long long second =
        std::chrono::duration_cast<std::chrono::seconds>(runLoop_.wallClock().time_since_epoch())
            .count();
    if (second != logSecond_) {
        logSecond_ = second;
        loggedThisSecond_ = 0;
    }
    for (const auto& line : lines) {
        if (loggedThisSecond_ >= kLoggedLinesPerSecond) {
            ++heldBack_;
            continue;
        }
        if (heldBack_ > 0) emitHeldBack();
        ++loggedThisSecond_;
        emitLine(line);
    }
    if (last && heldBack_ > 0) emitHeldBack();
}

void SSHTunnel::emitHeldBack() {
    const long count = heldBack_;
    heldBack_ = 0;
    emitLine("(" + std::to_string(count) + " more lines not logged)");
}

void SSHTunnel::emitLine(const std::string& line) {
    log_.write(logName() + ": " + line);
    if (delegate) delegate->gotOutput(line, *this);
}

int SSHTunnel::childExitStatus() {
    return task ? task->exitStatus() : kNoChildStatus;
}

void SSHTunnel::report(const std::string& status) {
    if (delegate) delegate->updateMyStatus(status, *this);
}
