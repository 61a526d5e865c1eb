// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

// Start at login, the freedesktop way: a desktop entry in $XDG_CONFIG_HOME/autostart.
// $XDG_CONFIG_HOME counts when it is an absolute path; otherwise the folder is ".config" in
// the home of the account record (like the data files, not $HOME).
namespace autostart {

std::string configHome(const char* xdgConfigHome, const std::string& accountHome);
std::string entryPath(const std::string& configHome);
// The desktop entry that starts `program` with --hidden.
std::string entryText(const std::string& program);

bool isEnabled(const std::string& configHome);
// Writes or removes the entry; false when that failed.
bool enable(const std::string& configHome, const std::string& program);
bool disable(const std::string& configHome);

} // namespace autostart
