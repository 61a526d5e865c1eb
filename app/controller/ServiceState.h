// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// What a service is doing, as a value beside the status text its row displays. Every status
// text maps to exactly one state; the desktop layer reads the state, never the text.
enum class ServiceState {
    Idle,             // "Idle..."
    Starting,         // "Starting..."
    Running,          // "Running..."
    Restarting,       // "Retring...": restarted at once after its connection ended
    Retrying,         // "Retrying...": a restart failed, the next try is pending
    Failed,           // "Failed..."
    ConnectionClosed, // "Connection Closed..."
    ServiceKilled,    // "Service killed...": the child ended with status 0
    Error,            // "Error...": the child had ended when the user stopped it
};

ServiceState serviceStateOf(const std::string& statusText);

// The row's light, a named status image: grey idle, yellow starting, green running, red for
// every other state.
const char* statusLight(ServiceState state);
