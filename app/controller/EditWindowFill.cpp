#include "controller/EditWindowFill.h"

#include "controller/QuillboreDel.h"
#include "platform/Text.h"

void fillEditWindow(QuillboreDel& c, const ServiceEntry& entry) {
    c.eServerAddress->setStringValue(entry.server);
    c.eServerPort->setStringValue(entry.listenPort);
    c.eUserName->setStringValue(entry.user);
    c.eUserPassword->setStringValue(entry.password);

    const std::string& d = entry.tunnelDescription;
    const auto pieces = text::split(d, ": ");
    if (d == "SOCKS") {
        c.eforwardInfo->setStringValue("");
        c.eisSocks->setState(1);
        c.eforwardInfo->setEnabled(false);
        c.eReverseButton->setEnabled(false);
        c.eReverseButton->setState(0);
    } else if (pieces.size() >= 2) {
        c.eisSocks->setState(0);
        c.eforwardInfo->setEnabled(true);
        c.eforwardInfo->setStringValue(pieces[1]);
        c.eReverseButton->setEnabled(true);
        c.eReverseButton->setState(1);
    } else {
        c.eisSocks->setState(0);
        c.eforwardInfo->setEnabled(true);
        c.eforwardInfo->setStringValue(d);
        c.eReverseButton->setEnabled(false);
        c.eReverseButton->setState(0);
    }
}
