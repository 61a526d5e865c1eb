// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tunnel/SSHTunnel.h"
#include "tunnel/SSHTunnelDelegate.h"

#include <string>
#include <vector>

// A tunnel delegate that records every report. Like the controller, it asks the reporting
// tunnel for a verification when it hears "Starting..." (unless told not to).
class RecordingTunnelDelegate : public SSHTunnelDelegate {
public:
    bool useOwnCommand = false;
    std::string commandString;
    std::string variables;
    bool retry = false;
    bool verifyOnStarting = true;

    std::vector<std::string> statuses;
    std::vector<const SSHTunnel*> reporters;
    int retryQuestions = 0;

    bool whatsMyCommand() override { return useOwnCommand; }
    std::string whatsMyCommandString() override { return commandString; }
    std::string whatsMyVariables() override { return variables; }
    bool shouldIRetry() override {
        ++retryQuestions;
        return retry;
    }
    void updateMyStatus(const std::string& status, SSHTunnel& with) override {
        statuses.push_back(status);
        reporters.push_back(&with);
        if (verifyOnStarting && status == "Starting...") with.needsVerify();
    }

    // The reports since the last call.
    std::vector<std::string> take() {
        std::vector<std::string> out;
        out.swap(statuses);
        reporters.clear();
        return out;
    }
};
