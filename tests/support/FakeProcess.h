// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ChildProcess.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// What a test sees of one child that a FakeLauncher handed out. The test decides when it ends.
struct FakeChild {
    bool launched = false;
    std::string path;
    std::vector<std::string> arguments;
    std::string stdinText;
    bool stdinClosed = false;
    bool alive = false;
    int status = 0;
    pid_t pid = 0;
    std::vector<int> signals;                       // SIGINT, SIGTERM as sent, in order
    std::map<std::string, std::string> environment; // variables set for the child
    bool diesWithApplication = true;
    std::vector<double> waits; // the bound of every waitForEnd, in order
    // With captured output: the write end of the pipe (the child's stdout and stderr).
    int outputWrite = -1;

    ~FakeChild();
    // Writes into the captured output, as the child would; ignored without capture.
    void write(const std::string& text);
    // Ends like a real child: its end of the output pipe closes.
    void exit(int exitStatus) {
        alive = false;
        status = exitStatus;
        closeOutput();
    }
    void closeOutput();
};

// Hands out scripted children and keeps every one it made, in order.
class FakeLauncher : public ProcessLauncher {
public:
    std::unique_ptr<ChildProcess> create() override;

    // Runs right after each launch; e.g. [](FakeChild& c) { c.exit(255); } for a child that
    // fails at once. By default the child stays alive. It may set the child's pid, say to a
    // real process for code that looks the child up in /proc.
    std::function<void(FakeChild&)> onLaunch;

    std::vector<std::shared_ptr<FakeChild>> children;
    std::shared_ptr<FakeChild> last() const { return children.empty() ? nullptr : children.back(); }
    // Children launched with this program path.
    std::vector<std::shared_ptr<FakeChild>> launchedWith(const std::string& path) const;

private:
    pid_t nextPid_ = 1000;
};
