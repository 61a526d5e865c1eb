// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

class SSHTunnel;
struct ServiceEntry;

// How the application names a service to the user (tray, notices, log window, command line):
// its server, tunnel and listen port, e.g. "gate.example.org  local db:5432 :15432".
// Never the user name or the password.
std::string serviceLabel(const std::string& server, const std::string& tunnelDescription,
                         const std::string& listenPort);
std::string serviceLabel(const ServiceEntry& entry);
std::string serviceLabel(const SSHTunnel& tunnel);
// The tunnel alone, as in the label: "SOCKS", "local db:5432", "reverse 127.0.0.1:22".
std::string tunnelLabel(const std::string& tunnelDescription);
