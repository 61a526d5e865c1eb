// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class QuillboreDel;
class Window;

// The services that were running when the application last ended, started again at the next
// launch when the user wants that. A service is known by its server, listen port and tunnel
// description only: its user name and password never leave the service list file.
namespace last_running {

struct Service {
    std::string server;
    std::string listenPort;
    std::string tunnelDescription;
    bool operator==(const Service&) const = default;
};

// The services meant to be up (running, or waiting to retry), in table order.
std::vector<Service> of(const QuillboreDel& controller);

// Starts, in table order, every service that matches one of `remembered`, each through the
// controller's start of one service (in askpass mode that queues them). A remembered service
// starts one service at most; one that no longer exists is skipped. Answers how many starts
// were accepted.
std::size_t start(QuillboreDel& controller, const std::vector<Service>& remembered, Window* tellOn);

} // namespace last_running
