// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>

// Asks the operating system to authenticate the current user for a named right.
// The conversation (a password prompt) is supplied by the caller, so the platform
// layer needs no window toolkit.
class Authorizer {
public:
    enum class Outcome { Granted, Refused, Cancelled };

    // Returns the password typed for `prompt`, or nothing when the user cancelled.
    using PasswordPrompt =
        std::function<std::optional<std::string>(const std::string& rightName, const std::string& prompt)>;

    virtual ~Authorizer() = default;

    // Blocks until the user has answered. A granted right is held until release().
    virtual Outcome authorize(const std::string& rightName, const std::string& userName,
                              const PasswordPrompt& prompt) = 0;

    // Gives a held grant up; harmless when nothing is held.
    virtual void release() = 0;

    virtual bool holdsGrant() const = 0;
};
