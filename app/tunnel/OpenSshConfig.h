// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ChildProcess.h"

#include <map>
#include <string>
#include <vector>

// What the user's OpenSSH client configuration sets for a destination, as far as the built-in
// ssh's added options depend on it.
class SshConfigQuery {
public:
    struct Settings {
        bool serverAliveInterval = false;  // a keep-alive interval other than 0
        bool exitOnForwardFailure = false; // "yes"
        bool operator==(const Settings&) const = default;
    };
    virtual ~SshConfigQuery() = default;
    virtual Settings settingsFor(const std::string& destination) = 0;
};

// Asks `ssh -G destination`, once per destination while the configuration files (the user's
// ~/.ssh/config, /etc/ssh/ssh_config and /etc/ssh/ssh_config.d/*) stay as they were. An ssh
// that fails or does not answer within kAnswerSeconds counts as setting nothing.
class OpenSshConfig : public SshConfigQuery {
public:
    static constexpr double kAnswerSeconds = 2.0;

    explicit OpenSshConfig(ProcessLauncher& launcher) : launcher_(launcher) {}
    Settings settingsFor(const std::string& destination) override;

    // The settings in the output of `ssh -G`.
    static Settings parse(const std::string& output);

private:
    Settings ask(const std::string& destination);
    // Identifies the contents of the configuration files without reading them.
    static std::string filesSignature();

    ProcessLauncher& launcher_;
    std::string signature_;
    std::map<std::string, Settings> answers_;
};
