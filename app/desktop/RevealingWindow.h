// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controller/toolkit.h"

// Stands in for the main window while the tray acts: an alert brings the window to the
// front first, so that an alert caused from the tray is seen even when the window was hidden.
class RevealingWindow : public Window {
public:
    explicit RevealingWindow(Window& inner) : inner_(inner) {}

    void makeKeyAndOrderFront() override { inner_.makeKeyAndOrderFront(); }
    void orderOut() override { inner_.orderOut(); }
    std::string title() const override { return inner_.title(); }
    void setTitle(const std::string& title) override { inner_.setTitle(title); }
    void beginSheet(const Alert& alert) override {
        inner_.makeKeyAndOrderFront();
        inner_.beginSheet(alert);
    }

private:
    Window& inner_;
};
