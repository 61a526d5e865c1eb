// SPDX-License-Identifier: GPL-3.0-or-later
// Why a service failed: its child's output in the log, the tooltip and the failure alert, and
// a check that its forward really listens. Both ask the kernel's socket tables (/proc), so no
// connection is ever opened to the forwarded service.
#include "controller/QuillboreDel.h"
#include "controller/ServiceLabel.h"
#include "controller/TunnelDescription.h"
#include "platform/ListeningSockets.h"

#include <cctype>

namespace {

// ssh may still be logging in when it is first reported running: a port it does not listen on
// yet is looked at again a second later, up to this many times in all, before the row is
// marked.
constexpr int kCheckAttempts = 3;
constexpr double kCheckRetryDelay = 1.0;

// The listen port as a number, or 0 when it is not one port.
int portNumber(const std::string& text) {
    if (text.empty() || text.size() > 5) return 0;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
    const int port = std::stoi(text);
    return port <= 65535 ? port : 0;
}

// `prefix` followed by the port and then no further digit.
bool namesPort(const std::string& line, const std::string& prefix, const std::string& port) {
    const std::string wanted = prefix + port;
    for (std::size_t at = line.find(wanted); at != std::string::npos;
         at = line.find(wanted, at + 1)) {
        const std::size_t after = at + wanted.size();
        if (after == line.size() || !std::isdigit(static_cast<unsigned char>(line[after])))
            return true;
    }
    return false;
}

pid_t childOf(const SSHTunnel& tunnel) {
    return tunnel.currentTask() ? tunnel.currentTask()->processIdentifier() : 0;
}

// ": it is held by nginx (pid 4242)", ": it is held by another account", or "" when no other
// process listens on the port (any more).
std::string holderOf(const SSHTunnel& tunnel) {
    const int port = portNumber(tunnel.listenPort());
    if (port == 0) return {};
    // The tunnel's own ssh may listen on the port at another address (::1): not the holder.
    const auto holder = ListeningSockets().holderOf(port, childOf(tunnel));
    if (!holder) return {};
    if (holder->pid == 0) return ": it is held by another account";
    return ": it is held by " + holder->command + " (pid " + std::to_string(holder->pid) + ")";
}

// ssh's own words for a forward that it could not set up, or "" when the line says no such
// thing.
std::string forwardFailure(const std::string& line, const SSHTunnel& tunnel) {
    const std::string& port = tunnel.listenPort();
    if (TunnelDescription::read(tunnel.tunnelMode()).kind == TunnelDescription::Kind::Reverse) {
        if (namesPort(line, "remote port forwarding failed for listen port ", port))
            return "the server refused to listen on port " + port + "; see the log";
        return {};
    }
    if (namesPort(line, "cannot listen to port: ", port) ||
        line.find("bind [127.0.0.1]:" + port + ":") != std::string::npos ||
        line.find("Could not request local forwarding") != std::string::npos) {
        // ssh says it in several lines: the holder is looked up once per start.
        const std::string failure = "ssh cannot listen on port " + port;
        if (tunnel.warning().starts_with(failure)) return tunnel.warning();
        return failure + holderOf(tunnel) + "; see the log";
    }
    return {};
}

} // namespace

void QuillboreDel::showLog(Control*) {
    if (refuseWhenLocked()) return;
    if (logWindow) logWindow->makeKeyAndOrderFront();
}

void QuillboreDel::logEvent(const SSHTunnel& tunnel, const std::string& text) {
    activityLog.add(runLoop().wallClock(), serviceLabel(tunnel), text, true);
}

void QuillboreDel::gotOutput(const std::string& line, SSHTunnel& with) {
    activityLog.add(runLoop().wallClock(), serviceLabel(with), line, false);
    const std::string failure = forwardFailure(line, with);
    if (!failure.empty()) markForward(with, failure);
}

std::string QuillboreDel::toolTipForRow(TableView*, long row) {
    if (!theServiceList || row < 0 || static_cast<std::size_t>(row) >= theServiceList->size())
        return {};
    const auto& tunnel = (*theServiceList)[static_cast<std::size_t>(row)].service;
    if (!tunnel) return {};
    std::string tip;
    if (auto next = tunnel->nextRetry())
        tip = "Connection lost; next try at " + ActivityLog::timeOfDay(*next) + "\n";
    tip += tunnel->warning();
    if (!tip.empty() && tip.back() == '\n') tip.pop_back();
    const auto& lines = tunnel->output().lines();
    if (!lines.empty()) {
        if (!tip.empty()) tip += "\n";
        tip += "Last output, at " + ActivityLog::timeOfDay(lines.back().time) + ":\n" +
               lines.back().text;
    }
    return tip;
}

void QuillboreDel::checkForward(SSHTunnel& with) {
    if (!with.isRunning()) return;
    if (TunnelDescription::read(with.tunnelMode()).kind == TunnelDescription::Kind::Reverse)
        return; // the server listens; ssh's own words tell (gotOutput)
    const int port = portNumber(with.listenPort());
    if (port == 0) return;
    lookForListener(with.weak_from_this(), port, with.startCount(), kCheckAttempts);
}

void QuillboreDel::lookForListener(std::weak_ptr<SSHTunnel> weak, int port, unsigned long start,
                                   int attemptsLeft) {
    auto tunnel = weak.lock();
    // Only for the child that was checked, while it is meant to be up.
    if (!tunnel || !tunnel->isRunning() || tunnel->startCount() != start) return;
    // An own command may be a wrapper script: the ssh that listens is then one of its children.
    if (ListeningSockets().heldBy(childOf(*tunnel), port)) return;
    if (attemptsLeft > 1) {
        runLoop().scheduleOnce(kCheckRetryDelay, [this, alive = std::weak_ptr<char>(lifetime_),
                                                  weak, port, start, attemptsLeft] {
            if (!alive.expired()) lookForListener(weak, port, start, attemptsLeft - 1);
        });
        return;
    }
    // ssh's own words about the port (gotOutput) say more.
    if (!tunnel->warning().empty()) return;
    markForward(*tunnel,
                "nothing accepts connections on port " + std::to_string(port) + "; see the log");
}

void QuillboreDel::markForward(SSHTunnel& tunnel, const std::string& warning) {
    if (tunnel.warning() == warning) return;
    tunnel.setWarning(warning);
    logEvent(tunnel, warning);
    log().write(tunnel.logName() + ": " + warning);
    if (serviceList) serviceList->reloadData();
}
