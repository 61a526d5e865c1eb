// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Authorizer.h"

#include <string>
#include <vector>

// Answers with a scripted outcome and records what it was asked.
class FakeAuthorizer : public Authorizer {
public:
    Outcome authorize(const std::string& rightName, const std::string& userName,
                      const PasswordPrompt&) override {
        requests.push_back(rightName + " for " + userName);
        held = outcome == Outcome::Granted;
        return outcome;
    }
    void release() override {
        ++releases;
        held = false;
    }
    bool holdsGrant() const override { return held; }

    Outcome outcome = Outcome::Granted;
    std::vector<std::string> requests;
    int releases = 0;
    bool held = false;
};
