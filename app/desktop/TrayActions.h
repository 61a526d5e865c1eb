// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

class QuillboreDel;

// The tray menu's actions, through the controller's operations on services: the lock and
// every alert apply as for the window's buttons, and the table's selection stays as it is.
// Alerts raised by an action bring the main window to the front.
class TrayActions {
public:
    explicit TrayActions(QuillboreDel& controller) : c_(controller) {}

    // Starts the service at `index` when it is not running, stops it otherwise.
    void toggleService(std::size_t index);
    void startAll();
    void stopAll();
    void lock();
    void showWindow();

private:
    QuillboreDel& c_;
};
