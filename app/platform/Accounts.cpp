// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Accounts.h"

#include <pwd.h>
#include <unistd.h>

namespace accounts {
namespace {

const passwd* record() { return ::getpwuid(::getuid()); }

} // namespace

std::optional<std::string> homeDirectory() {
    const passwd* pw = record();
    if (!pw || !pw->pw_dir) return std::nullopt;
    return std::string(pw->pw_dir);
}

std::optional<std::string> loginName() {
    const passwd* pw = record();
    if (!pw || !pw->pw_name) return std::nullopt;
    return std::string(pw->pw_name);
}

uid_t realUserId() { return ::getuid(); }

} // namespace accounts
