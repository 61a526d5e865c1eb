// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Text.h"

#include <string>

// How the table and the edit window read a tunnel description: exactly "SOCKS" is a SOCKS
// proxy; a text with ": " in it is a reverse forward whose address is the second piece;
// anything else is a local forward to the whole text.
struct TunnelDescription {
    enum class Kind { Socks, Local, Reverse };
    Kind kind;
    std::string forwardAddress; // empty for SOCKS

    static TunnelDescription read(const std::string& description) {
        if (description == "SOCKS") return {Kind::Socks, {}};
        auto pieces = text::split(description, ": ");
        if (pieces.size() < 2) return {Kind::Local, description};
        return {Kind::Reverse, pieces[1]};
    }
};
