// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeProcess.h"

#include "platform/Descriptors.h"

#include <csignal>
#include <unistd.h>

namespace {

class FakeProcess : public ChildProcess {
public:
    FakeProcess(std::shared_ptr<FakeChild> child, FakeLauncher& owner, pid_t pid)
        : child_(std::move(child)), owner_(owner), pid_(pid) {}

    void setEnvironment(const std::string& name, const std::string& value) override {
        child_->environment[name] = value;
    }
    void setDiesWithApplication(bool dies) override { child_->diesWithApplication = dies; }

    ~FakeProcess() override {
        if (outputRead_ >= 0) ::close(outputRead_);
    }

    void captureOutput() override { capture_ = true; }
    int outputDescriptor() const override { return outputRead_; }

    void launch(const std::string& path, const std::vector<std::string>& arguments,
                const std::string& stdinText, bool closeStdin) override {
        int fds[2];
        if (capture_ && descriptors::makeOutputPipe(fds)) {
            outputRead_ = fds[0];
            child_->outputWrite = fds[1];
        }
        child_->launched = true;
        child_->path = path;
        child_->arguments = arguments;
        child_->stdinText = stdinText;
        child_->stdinClosed = closeStdin;
        child_->alive = true;
        child_->pid = pid_;
        if (owner_.onLaunch) owner_.onLaunch(*child_);
    }
    bool isRunning() override { return child_->alive; }
    int exitStatus() override { return child_->alive ? 0 : child_->status; }
    pid_t processIdentifier() const override { return child_->launched ? child_->pid : 0; }
    bool waitForEnd(double seconds) override {
        child_->waits.push_back(seconds);
        return !child_->alive;
    }
    void interrupt() override { child_->signals.push_back(SIGINT); }
    void terminate() override { child_->signals.push_back(SIGTERM); }

private:
    std::shared_ptr<FakeChild> child_;
    FakeLauncher& owner_;
    pid_t pid_;
    bool capture_ = false;
    int outputRead_ = -1;
};

} // namespace

FakeChild::~FakeChild() {
    closeOutput();
}

void FakeChild::write(const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (outputWrite >= 0 && left > 0) {
        const ssize_t n = ::write(outputWrite, p, left);
        if (n <= 0) return;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void FakeChild::closeOutput() {
    if (outputWrite >= 0) ::close(outputWrite);
    outputWrite = -1;
}

std::unique_ptr<ChildProcess> FakeLauncher::create() {
    auto child = std::make_shared<FakeChild>();
    children.push_back(child);
    return std::make_unique<FakeProcess>(child, *this, nextPid_++);
}

std::vector<std::shared_ptr<FakeChild>> FakeLauncher::launchedWith(const std::string& path) const {
    std::vector<std::shared_ptr<FakeChild>> found;
    for (const auto& c : children)
        if (c->launched && c->path == path) found.push_back(c);
    return found;
}
