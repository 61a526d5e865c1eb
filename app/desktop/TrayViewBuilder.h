// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop/TrayView.h"

#include <string>
#include <vector>

class QuillboreDel;

// Builds the tray's view of one controller again and again, as the status line asks every
// second: the menu label of a service is made again only when its server, tunnel, port or
// status changed, so a refresh with nothing new costs a comparison per service.
class TrayViewBuilder {
public:
    const TrayView& of(const QuillboreDel& controller);

private:
    // What an entry's label and light were made from.
    struct Source {
        std::string server;
        std::string tunnelDescription;
        std::string listenPort;
        std::string status;
    };
    std::vector<Source> sources_;
    TrayView view_;
};
