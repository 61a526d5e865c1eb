// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/RemoteCommands.h"

#include "controller/QuillboreDel.h"
#include "controller/ServiceLabel.h"
#include "platform/Files.h"
#include "store/Cipher.h"
#include "store/ServiceListFormat.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

bool isNumber(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](unsigned char ch) { return std::isdigit(ch); });
}

struct HostPort {
    std::string host;
    std::string port;
};

// HOST:PORT splits at its last colon, so that "::1:22" is the host "::1"; "[::1]:22" too.
HostPort splitHostPort(const std::string& which) {
    const std::size_t colon = which.rfind(':');
    if (colon == std::string::npos) return {};
    HostPort hp{which.substr(0, colon), which.substr(colon + 1)};
    if (hp.host.size() > 2 && hp.host.front() == '[' && hp.host.back() == ']')
        hp.host = hp.host.substr(1, hp.host.size() - 2);
    return hp;
}

RemoteCommands::Row rowOf(std::size_t index, const std::string& server,
                          const std::string& listenPort, const std::string& tunnelDescription,
                          const std::string& status) {
    return {static_cast<unsigned>(index + 1), server, listenPort, tunnelLabel(tunnelDescription),
            status};
}

std::string oneLine(std::string field) {
    std::replace_if(
        field.begin(), field.end(), [](char ch) { return ch == '\t' || ch == '\n' || ch == '\r'; },
        ' ');
    return field;
}

} // namespace

std::vector<RemoteCommands::Row> RemoteCommands::status() const {
    std::vector<Row> rows;
    if (!c_.theServiceList) return rows;
    for (const ServiceEntry& e : *c_.theServiceList)
        rows.push_back(rowOf(rows.size(), e.server, e.listenPort, e.tunnelDescription, e.status));
    return rows;
}

bool RemoteCommands::isServiceReference(const std::string& which) {
    if (isNumber(which)) return true;
    const HostPort hp = splitHostPort(which);
    return !hp.host.empty() && isNumber(hp.port);
}

RemoteCommands::Found RemoteCommands::find(const std::string& which) const {
    if (isNumber(which)) {
        long row = 0;
        const auto [end, error] = std::from_chars(which.data(), which.data() + which.size(), row);
        if (auto service = error == std::errc() ? c_.serviceAt(row - 1) : nullptr)
            return {service, {}};
        return {nullptr, "There is no service in row " + which + "."};
    }
    if (!isServiceReference(which))
        return {nullptr, which + " is neither a row number nor HOST:PORT."};
    const HostPort hp = splitHostPort(which);
    std::shared_ptr<SSHTunnel> match;
    std::size_t matches = 0;
    if (c_.theServiceList)
        for (const ServiceEntry& e : *c_.theServiceList)
            if (e.server == hp.host && e.listenPort == hp.port) {
                match = e.service;
                ++matches;
            }
    if (matches == 1) return {match, {}};
    if (matches > 1)
        return {nullptr, std::to_string(matches) + " services have the server " + hp.host +
                             " and the listen port " + hp.port + ": name one by its row number."};
    return {nullptr,
            "No service has the server " + hp.host + " and the listen port " + hp.port + "."};
}

template <typename Operation>
std::string RemoteCommands::act(const std::string& which, Operation operation) {
    const Found found = find(which);
    // As for the buttons, a locked application refuses before it looks any further.
    if (!found.service)
        return c_.isLocked() ? QuillboreDel::refusalText(QuillboreDel::Refusal::Locked)
                             : found.problem;
    return QuillboreDel::refusalText(operation(found.service));
}

std::string RemoteCommands::start(const std::string& which) {
    return act(which, [this](const auto& service) { return c_.startOne(service, nullptr); });
}

std::string RemoteCommands::stop(const std::string& which) {
    return act(which, [this](const auto& service) { return c_.stopOne(service, nullptr); });
}

std::string RemoteCommands::startAll() {
    return QuillboreDel::refusalText(c_.startAll(nullptr));
}

std::string RemoteCommands::stopAll() {
    return QuillboreDel::refusalText(c_.stopAll(nullptr));
}

std::vector<RemoteCommands::Row> RemoteCommands::savedServices(const std::string& home,
                                                               const std::string& login) {
    const std::string path = home + "/" + QuillboreDel::kServiceListName;
    const std::string plain = cipher::decryptString(files::readWhole(path).value_or(""), login);
    std::vector<Row> rows;
    for (const servicelist::Record& r : servicelist::decode(plain).records)
        rows.push_back(rowOf(rows.size(), r.server, r.listenPort, r.tunnelDescription, "Idle..."));
    return rows;
}

std::string RemoteCommands::line(const Row& row) {
    return std::to_string(row.row) + '\t' + oneLine(row.server) + '\t' + oneLine(row.listenPort) +
           '\t' + oneLine(row.tunnel) + '\t' + oneLine(row.status);
}
