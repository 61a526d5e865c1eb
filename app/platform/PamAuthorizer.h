// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Authorizer.h"

#include <string>

struct pam_handle;

// Authenticates the user through PAM (pam_authenticate, then pam_acct_mgmt) under a service
// name whose stack is configured in /etc/pam.d. The PAM transaction of a granted request is
// kept open until release(), which ends it.
class PamAuthorizer : public Authorizer {
public:
    static constexpr const char* kServiceName = "quillbore-ssh";

    explicit PamAuthorizer(std::string serviceName = kServiceName);
    ~PamAuthorizer() override;
    PamAuthorizer(const PamAuthorizer&) = delete;
    PamAuthorizer& operator=(const PamAuthorizer&) = delete;

    Outcome authorize(const std::string& rightName, const std::string& userName,
                      const PasswordPrompt& prompt) override;
    void release() override;
    bool holdsGrant() const override { return handle_ != nullptr; }

private:
    std::string serviceName_;
    pam_handle* handle_ = nullptr;
};
