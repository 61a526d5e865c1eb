// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QuillboreDel;

// After a resume from sleep or a network that came back, the connections of running
// services are likely dead without ssh knowing it yet. With reconnection on, ending each
// running service's child lets the supervision restart it at its next check ("Connection
// Closed...", "Retring..."); with reconnection off nothing happens.
class StaleConnections {
public:
    explicit StaleConnections(QuillboreDel& controller) : c_(controller) {}

    // Returns how many children were ended.
    int renew();

private:
    QuillboreDel& c_;
};
