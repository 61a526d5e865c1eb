#pragma once

#include <string>

struct ServiceEntry;

// How the tray and the notices name a service: its server and tunnel, e.g.
// "gate.example.org  local db:5432 :15432". Never the user name or the password.
std::string serviceLabel(const ServiceEntry& entry);
