// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CheckTimes.h"
#include "platform/ChildProcess.h"

#include <memory>
#include <optional>

// A real child process whose alive queries are timed into CheckTimes.
class TimedChild : public ChildProcess {
public:
    TimedChild(std::unique_ptr<ChildProcess> real, CheckTimes& times)
        : real_(std::move(real)), times_(times) {}

    void setEnvironment(const std::string& name, const std::string& value) override {
        real_->setEnvironment(name, value);
    }
    void setDiesWithApplication(bool dies) override { real_->setDiesWithApplication(dies); }
    bool waitForEnd(double seconds) override { return real_->waitForEnd(seconds); }
    void launch(const std::string& path, const std::vector<std::string>& arguments,
                const std::string& stdinText, bool closeStdin) override {
        launched_ = CheckTimes::Clock::now();
        real_->launch(path, arguments, stdinText, closeStdin);
    }
    bool isRunning() override {
        const auto now = CheckTimes::Clock::now();
        if (!last_) {
            times_.firstCheck.add(seconds(now - launched_));
            last_ = now;
        } else if (seconds(now - *last_) > 0.5) {
            times_.step.add(seconds(now - *last_));
            last_ = now;
        }
        return real_->isRunning();
    }
    int exitStatus() override { return real_->exitStatus(); }
    pid_t processIdentifier() const override { return real_->processIdentifier(); }
    void interrupt() override { real_->interrupt(); }
    void terminate() override { real_->terminate(); }

private:
    static double seconds(CheckTimes::Clock::duration d) {
        return std::chrono::duration<double>(d).count();
    }
    std::unique_ptr<ChildProcess> real_;
    CheckTimes& times_;
    CheckTimes::Clock::time_point launched_;
    std::optional<CheckTimes::Clock::time_point> last_;
};
