// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// Writes the application's two data files into the home of the account record, in their
// stored form (scrambled), the way the application and its preferences window leave them.
namespace homefiles {

struct Service {
    std::string server;
    std::string listenPort;
    std::string user;
    std::string password;
    std::string description; // "SOCKS", "host:port" (local) or "Reverse Tunnel: host:port"
};

enum class Mode { KeyFiles, OwnCommand, Askpass };

struct Preferences {
    Mode mode = Mode::KeyFiles;
    bool prompt = false;
    std::string command;
    std::string arguments;
    bool reconnect = false;
    std::vector<std::string> keyFiles; // "path" or "path:passphrase"
};

void writeServiceList(const std::vector<Service>& services);
void writePreferences(const Preferences& preferences);
// Removes the service list, the preferences and the askpass file.
void removeAll();
std::string path(const std::string& name);

} // namespace homefiles
