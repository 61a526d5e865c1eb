// SPDX-License-Identifier: GPL-3.0-or-later
#include "controller/EditWindowFill.h"

#include "controller/QuillboreDel.h"
#include "controller/TunnelDescription.h"

void fillEditWindow(QuillboreDel& del, const ServiceEntry& entry) {
    auto setText = [](TextField* field, const std::string& value) {
        if (field) field->setStringValue(value);
    };
    setText(del.eServerAddress, entry.server);
    setText(del.eServerPort, entry.listenPort);
    setText(del.eUserName, entry.user);
    setText(del.eUserPassword, entry.password);

    const TunnelDescription d = TunnelDescription::read(entry.tunnelDescription);
    const bool socks = d.kind == TunnelDescription::Kind::Socks;
    const bool reverse = d.kind == TunnelDescription::Kind::Reverse;
    setText(del.eforwardInfo, d.forwardAddress);
    if (del.eforwardInfo) del.eforwardInfo->setEnabled(!socks);
    if (del.eisSocks) del.eisSocks->setState(socks ? 1 : 0);
    if (del.eReverseButton) {
        del.eReverseButton->setEnabled(reverse);
        del.eReverseButton->setState(reverse ? 1 : 0);
    }
}
