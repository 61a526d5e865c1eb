// SPDX-License-Identifier: GPL-3.0-or-later
#include "controller/ServiceState.h"

#include "controller/toolkit.h"

ServiceState serviceStateOf(const std::string& text) {
    static const struct {
        const char* text;
        ServiceState state;
    } kStates[] = {
        {"Idle...", ServiceState::Idle},
        {"Starting...", ServiceState::Starting},
        {"Running...", ServiceState::Running},
        {"Retring...", ServiceState::Restarting},
        {"Retrying...", ServiceState::Retrying},
        {"Failed...", ServiceState::Failed},
        {"Connection Closed...", ServiceState::ConnectionClosed},
        {"Service killed...", ServiceState::ServiceKilled},
    };
    for (const auto& s : kStates)
        if (text == s.text) return s.state;
    return ServiceState::Error;
}

const char* statusLight(ServiceState state) {
    switch (state) {
    case ServiceState::Idle:
        return image::StatusNone;
    case ServiceState::Starting:
        return image::StatusPartiallyAvailable;
    case ServiceState::Running:
        return image::StatusAvailable;
    default:
        return image::StatusUnavailable;
    }
}
