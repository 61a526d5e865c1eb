// SPDX-License-Identifier: GPL-3.0-or-later
// A server ssh has never seen: its start fails, as ssh cannot ask without a terminal. From the
// failure alert the user may trust it: its keys are fetched the way ssh reaches it, shown, and
// only on the user's word added to the user's known-hosts file, exactly as shown.
#include "controller/QuillboreDel.h"

namespace {

std::string trustText(const HostKeyFetch::Result& fetched) {
    const hostkeys::Destination& to = fetched.destination;
    std::string text = "ssh knows no host key of this server yet. Trust it only when the "
                       "fingerprint below is the one its administrator gives you (on the "
                       "server: ssh-keygen -l -f /etc/ssh/ssh_host_ed25519_key.pub).\n\n";
    text += "Host: " + to.hostname + ", port " + to.port + "\n";
    if (!to.proxyJump.empty()) text += "Through: " + to.proxyJump + "\n";
    if (!to.hostKeyAlias.empty()) text += "Its key is recorded as: " + to.hostKeyAlias + "\n";
    text += "\n";
    for (const hostkeys::Key& key : fetched.keys)
        text += key.type + " key " + key.fingerprint + "\n";
    text += "\n" + std::string(QuillboreDel::kConfirmTrustButton) + " adds the lines below to " +
            to.knownHostsFile + " and starts the service.";
    return text;
}

} // namespace

hostkeys::Refusal QuillboreDel::hostKeyRefusal(const SSHTunnel& tunnel) const {
    // The user's own program: its words are not ssh's, nor its configuration ours to change.
    if (use_my_command) return {};
    std::vector<std::string> lines;
    for (const auto& line :
         tunnel.output().linesSince(tunnel.outputMarkAtStart(), TunnelOutput::kMaxLines))
        lines.push_back(line.text);
    return hostkeys::diagnose(lines);
}

std::function<void()>
QuillboreDel::laterOn(const std::shared_ptr<SSHTunnel>& service,
                      std::function<void(const std::shared_ptr<SSHTunnel>&)> action) {
    return [alive = std::weak_ptr<char>(lifetime_), weak = std::weak_ptr<SSHTunnel>(service),
            action = std::move(action)] {
        if (alive.expired()) return;
        if (auto still = weak.lock()) action(still);
    };
}

void QuillboreDel::trustServer(const std::shared_ptr<SSHTunnel>& service) {
    if (refusedAsLocked(mainWindow)) return;
    const unsigned long id = service->identity();
    if (keyFetches_.count(id)) return; // on its way
    logEvent(*service, "fetching the host key of " + service->server());
    auto fetch = std::make_unique<HostKeyFetch>(
        runLoop(), launcher(), service->destination(), getUserDir(),
        [this, id, weak = std::weak_ptr<SSHTunnel>(service)](const HostKeyFetch::Result& r) {
            keyFetches_.erase(id); // done with it: the result is a copy
            if (auto still = weak.lock()) showHostKeys(still, r);
        });
    HostKeyFetch& started = *fetch;
    keyFetches_.emplace(id, std::move(fetch));
    started.start();
}

void QuillboreDel::showHostKeys(const std::shared_ptr<SSHTunnel>& service,
                                const HostKeyFetch::Result& fetched) {
    if (!fetched.error.empty()) {
        logEvent(*service, fetched.error);
        doAlertWindow(fetched.error, mainWindow, fetched.detail);
        return;
    }
    if (!mainWindow) return;
    Alert alert;
    alert.messageText = "Trust the server " + service->server() + "?";
    alert.informativeText = trustText(fetched);
    alert.detailText = fetched.lines;
    alert.buttonTitle = "Cancel"; // the default: nothing is trusted by a stray Return
    alert.style = Alert::Style::Warning;
    alert.otherButtonTitle = kConfirmTrustButton;
    // The lines shown are the lines added: no second fetch in between.
    alert.otherAction =
        laterOn(service, [this, file = fetched.destination.knownHostsFile, lines = fetched.lines](
                             const auto& trusted) { addHostKeys(trusted, file, lines); });
    mainWindow->beginSheet(alert);
}

void QuillboreDel::addHostKeys(const std::shared_ptr<SSHTunnel>& service, const std::string& file,
                               const std::string& lines) {
    if (refusedAsLocked(mainWindow)) return;
    if (!hostkeys::appendLines(file, lines)) {
        doAlertWindow("The server's host key could not be added to " + file + ".", mainWindow);
        return;
    }
    logEvent(*service, "host key added to " + file);
    log().write(service->logName() + ": host key added to " + file);
    startOne(service, mainWindow);
}
