#pragma once
// Stand-in until the PAM authorizer lands on main; removed then. Refuses everything.
#include "platform/Authorizer.h"

class PamAuthorizer : public Authorizer {
public:
    Outcome authorize(const std::string&, const std::string&, const PasswordPrompt&) override {
        return Outcome::Refused;
    }
    void release() override {}
    bool holdsGrant() const override { return false; }
};
