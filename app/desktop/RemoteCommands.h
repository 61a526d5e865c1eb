// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

class QuillboreDel;
class SSHTunnel;

// What the command line asks of the running application: the services with their status, and
// start and stop of one service or of all, through the controller's operations on services, as
// the buttons and the tray do, so the lock and every refusal apply. A refusal is answered as its
// text, never shown in a window; the table's selection stays as it is.
class RemoteCommands {
public:
    // One service as the command line lists it.
    struct Row {
        unsigned row = 0; // 1-based, top to bottom as in the table
        std::string server;
        std::string listenPort;
        std::string tunnel; // "SOCKS", "local db:5432" or "reverse 127.0.0.1:22"
        std::string status; // the row's status text, as shown
        bool operator==(const Row&) const = default;
    };

    explicit RemoteCommands(QuillboreDel& controller) : c_(controller) {}

    std::vector<Row> status() const;
    // `which` names a service by its row number or as HOST:PORT, its server and listen port.
    // Each answers the refusal's text, or nothing when done.
    std::string start(const std::string& which);
    std::string stop(const std::string& which);
    std::string startAll();
    std::string stopAll();

    // Whether `which` has the form of a row number or of HOST:PORT ("[::1]:22" for an address
    // with colons).
    static bool isServiceReference(const std::string& which);
    // The services of the service list file in `home`, each "Idle...", as the application shows
    // them when it starts. Reads the file, nothing else.
    static std::vector<Row> savedServices(const std::string& home, const std::string& login);
    // The fields joined by tabs, without a line end; a tab or line break inside a field is
    // written as a blank.
    static std::string line(const Row& row);

private:
    struct Found {
        std::shared_ptr<SSHTunnel> service;
        std::string problem; // why there is none
    };
    Found find(const std::string& which) const;
    template <typename Operation> std::string act(const std::string& which, Operation operation);

    QuillboreDel& c_;
};
