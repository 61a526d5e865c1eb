// SPDX-License-Identifier: GPL-3.0-or-later
// Adding, editing and removing services.
#include "controller/EditWindowFill.h"
#include "controller/QuillboreDel.h"
#include "platform/Text.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kFillAllBoxes = "Make sure you fill in all the boxes...";
constexpr const char* kIdle = "Idle...";

// The form of the add or the edit window.
struct Form {
    TextField* server;
    TextField* user;
    TextField* password;
    TextField* port;
    TextField* forward;
};

Form addForm(const QuillboreDel& c) {
    return {c.serverAddress, c.userName, c.userPassword, c.serverPort, c.forwardInfo};
}

Form editForm(const QuillboreDel& c) {
    return {c.eServerAddress, c.eUserName, c.eUserPassword, c.eServerPort, c.eforwardInfo};
}

bool isChecked(const Button* box) {
    return box && box->state() != 0;
}

// The list file is ASCII with fields split at 0x1F and records at CR LF: none of these may
// come in through a field.
bool isStorable(const std::string& s) {
    if (!text::isPlainAscii(s)) return false;
    for (char ch : s)
        if (ch == '\x1F' || ch == '\r' || ch == '\n') return false;
    return true;
}

// The required boxes, then the characters of every box. Shows the first fault on the
// form's window; true when the form may be taken.
bool checkForm(QuillboreDel& c, const Form& f, Window* window) {
    if (f.server->stringValue().empty() || f.user->stringValue().empty() ||
        f.port->stringValue().empty()) {
        c.doAlertWindow(kFillAllBoxes, window);
        return false;
    }
    const std::pair<const char*, TextField*> boxes[] = {{"Server", f.server},
                                                        {"User", f.user},
                                                        {"Password", f.password},
                                                        {"Listen Port", f.port},
                                                        {"Forward Address", f.forward}};
    for (const auto& [name, field] : boxes) {
        if (!isStorable(field->stringValue())) {
            c.doAlertWindow(std::string("The ") + name +
                                " box holds a character that cannot be saved. Use plain "
                                "letters, digits and punctuation only.",
                            window);
            return false;
        }
    }
    return true;
}

std::vector<std::string> pieces(const std::string& typed) {
    return text::split(text::replaceAll(typed, " ", ""), ",");
}

ServiceEntry newEntry(const std::shared_ptr<SSHTunnel>& tunnel, const std::string& server,
                      const std::string& port, const std::string& user, const std::string& password,
                      const std::string& description) {
    tunnel->setUser(user, password, server, port, description);
    return ServiceEntry{server, port, kIdle, user, password, description, tunnel};
}

} // namespace

std::optional<std::size_t>
QuillboreDel::rowOfService(const std::shared_ptr<SSHTunnel>& tunnel) const {
    if (!tunnel || !theServiceList) return std::nullopt;
    for (std::size_t i = 0; i < theServiceList->size(); ++i)
        if ((*theServiceList)[i].service == tunnel) return i;
    return std::nullopt;
}

void QuillboreDel::addService(Control*) {
    if (refuseWhenLocked()) return;
    addWindow->makeKeyAndOrderFront();
    userName->setStringValue(getLoginName());
    serverAddress->setStringValue("localhost");
    userPassword->setStringValue("");
    forwardInfo->setStringValue("");
    serverPort->setStringValue("8080");
    okButton->setState(1);
    canButton->setState(1);
    reverseButton->setState(0);
}

void QuillboreDel::addToList(Control*) {
    const Form f = addForm(*this);
    if (!checkForm(*this, f, addWindow)) return;

    const std::string server = f.server->stringValue();
    const std::string user = f.user->stringValue();
    const std::string password = f.password->stringValue();
    const std::string portText = f.port->stringValue();
    const std::string forwardText = f.forward->stringValue();
    const bool reverse = isChecked(reverseButton);

    const auto ports = pieces(portText);
    const auto forwards = pieces(forwardText);
    std::vector<ServiceEntry> added;
    if (ports.size() >= 2 || forwards.size() >= 2) {
        if (ports.size() != forwards.size()) {
            doAlertWindow("Listen Ports and Forward Address object count are not equal. \n"
                          "Listen Count: " +
                              std::to_string(ports.size()) +
                              "\nForward Count: " + std::to_string(forwards.size()),
                          addWindow);
            return;
        }
        // Several ports are always forwards: the SOCKS box is not consulted here.
        for (std::size_t i = 0; i < ports.size(); ++i) {
            std::string description = reverse ? "Reverse Tunnel: " + forwards[i] : forwards[i];
            added.push_back(newEntry(makeTunnel(), server, ports[i], user, password, description));
        }
    } else {
        std::string description = isChecked(isSocks) ? std::string("SOCKS")
                                  : reverse          ? "Reverse Tunnel: " + forwardText
                                                     : forwardText;
        added.push_back(newEntry(makeTunnel(), server, portText, user, password, description));
    }

    if (!theServiceList) theServiceList.emplace();
    for (auto& entry : added)
        theServiceList->push_back(std::move(entry));
    listEmptiedByUser = false;
    markListChanged();
    serviceList->reloadData();
    addWindow->orderOut();
}

void QuillboreDel::editService(Control*) {
    if (refuseWhenLocked()) return;
    eokButton->setState(1);
    ecanButton->setState(1);
    currentRow = serviceList->selectedRow();
    editedService.reset();
    if (currentRow < 0) return;
    if (!theServiceList || static_cast<std::size_t>(currentRow) >= theServiceList->size()) return;
    openEditWindow(static_cast<std::size_t>(currentRow));
}

QuillboreDel::Refusal QuillboreDel::editOne(const std::shared_ptr<SSHTunnel>& service,
                                            Window* tellOn) {
    if (refusedAsLocked(tellOn)) return Refusal::Locked;
    const std::optional<std::size_t> row = rowOfService(service);
    if (!row) return refuse(Refusal::NoService, tellOn);
    eokButton->setState(1);
    ecanButton->setState(1);
    openEditWindow(*row);
    return Refusal::None;
}

void QuillboreDel::openEditWindow(std::size_t row) {
    currentRow = static_cast<std::int64_t>(row);
    const ServiceEntry entry = (*theServiceList)[row];
    editedService = entry.service;
    editWindow->makeKeyAndOrderFront();
    fillEditWindow(*this, entry);
}

void QuillboreDel::editList(Control*) {
    const Form f = editForm(*this);
    if (!checkForm(*this, f, editWindow)) return;

    // The service may have gone since the window opened (removed meanwhile, or no row was
    // selected at the last edit): there is nothing to change.
    const std::optional<std::size_t> found = rowOfService(editedService.lock());
    if (!found) {
        editWindow->orderOut();
        return;
    }

    const std::size_t row = *found;
    currentRow = static_cast<std::int64_t>(row);
    const ServiceEntry& old = (*theServiceList)[row];
    const std::string forwardText = f.forward->stringValue();
    const std::string description = isChecked(eisSocks)         ? std::string("SOCKS")
                                    : isChecked(eReverseButton) ? "Reverse: " + forwardText
                                                                : forwardText;

    ServiceEntry edited{
        f.server->stringValue(),   f.port->stringValue(), old.status, f.user->stringValue(),
        f.password->stringValue(), description,           old.service};
    // A running child keeps its settings; these apply at its next start.
    if (edited.service)
        edited.service->setUser(edited.user, edited.password, edited.server, edited.listenPort,
                                edited.tunnelDescription);
    (*theServiceList)[row] = std::move(edited);
    markListChanged();
    serviceList->reloadData();
    editWindow->orderOut();
}

void QuillboreDel::removeFromList(Control*) {
    if (refuseWhenLocked()) return;
    if (auto service = serviceAt(serviceList->selectedRow())) removeOne(service, mainWindow);
}

QuillboreDel::Refusal QuillboreDel::removeOne(const std::shared_ptr<SSHTunnel>& service,
                                              Window* tellOn) {
    if (refusedAsLocked(tellOn)) return Refusal::Locked;
    const std::optional<std::size_t> row = rowOfService(service);
    if (!row) return refuse(Refusal::NoService, tellOn);
    // The tunnel is not stopped: a running child goes on, unseen, under its supervision.
    theServiceList->erase(theServiceList->begin() + static_cast<long>(*row));
    dropPendingStart(service);
    markListChanged();
    // Lets the save write the now empty list, so the removed service does not come back.
    if (theServiceList->empty()) listEmptiedByUser = true;
    serviceList->reloadData();
    updateStatus();
    return Refusal::None;
}

void QuillboreDel::handleCheckBox(Control* sender) {
    const bool fromAddWindow = sender == static_cast<Control*>(isSocks);
    Button* socks = fromAddWindow ? isSocks : eisSocks;
    Button* reverse = fromAddWindow ? reverseButton : eReverseButton;
    TextField* forward = fromAddWindow ? forwardInfo : eforwardInfo;
    if (isChecked(socks)) {
        reverse->setState(0);
        reverse->setEnabled(false);
    } else {
        forward->setEnabled(true);
        reverse->setEnabled(true);
    }
}
