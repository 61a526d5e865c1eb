// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

class SSHTunnel;

// What a tunnel asks of its owner. All calls arrive on the main thread.
class SSHTunnelDelegate {
public:
    virtual ~SSHTunnelDelegate() = default;

    virtual bool whatsMyCommand() = 0;              // run the own command instead of ssh
    virtual std::string whatsMyCommandString() = 0; // program path of the own command
    virtual std::string whatsMyVariables() = 0;     // argument template: %u, %h, %p
    virtual bool shouldIRetry() = 0;                // restart after the child ended
    virtual void updateMyStatus(const std::string& status, SSHTunnel& with) = 0;
    // Options placed before the built-in ssh's own arguments (never the own command's), for
    // the destination "user@server".
    virtual std::vector<std::string> builtInOptions(const std::string& destination) {
        (void)destination;
        return {};
    }
    // One line that the tunnel's child wrote, the password masked.
    virtual void gotOutput(const std::string& line, SSHTunnel& with) {
        (void)line;
        (void)with;
    }
};
