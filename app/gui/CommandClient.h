// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommandLine.h"

#include <optional>

class QDBusMessage;

// Carries out a command of the command line (--status, --start, ...) as a later launch: asks
// the running application over its D-Bus interface, prints what it answers and ends; it
// claims nothing and opens no window. With none running, --status lists the services of the
// service list file as idle, without starting anything; the other commands start the
// application (--hidden: hidden when there is a tray) and hand the command to it once it answers.
class CommandClient {
public:
    explicit CommandClient(const CommandLine& commandLine) : line_(commandLine) {}

    // 0 when done; 1 when refused (the refusal's text on standard error) or when the
    // application could not be reached or started.
    int run();

private:
    std::optional<QDBusMessage> ask() const;
    std::optional<QDBusMessage> launchAndAsk() const;
    int report(const QDBusMessage& reply) const;
    int printSaved() const;

    const CommandLine& line_;
};
