// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// Account lookups for the real user id (getuid, getpwuid), made afresh at every call.
// The environment (HOME, USER, ...) is never consulted.
namespace accounts {

std::optional<std::string> homeDirectory();
std::optional<std::string> loginName();
uid_t realUserId();

} // namespace accounts
