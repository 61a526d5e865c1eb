// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A private ssh-agent for one test program, a child of the test process (ssh-agent -D).
// exportSocket() points SSH_AUTH_SOCK at it, so every ssh and ssh-add started afterwards
// (by the tests or by the application) uses this agent and never the user's own.
class SshAgent {
public:
    explicit SshAgent(const std::string& socketPath);
    ~SshAgent();
    SshAgent(const SshAgent&) = delete;
    SshAgent& operator=(const SshAgent&) = delete;

    void exportSocket() const;
    const std::string& socketPath() const { return socket_; }
    // Fingerprint lines of the loaded keys (ssh-add -l).
    std::vector<std::string> keys() const;
    void removeAllKeys() const;

private:
    std::string socket_;
    pid_t pid_ = 0;
};
