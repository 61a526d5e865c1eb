// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtAssertionHandler.h"

#include <QtGlobal>

void QtAssertionHandler::handleFailure(const std::string& description) {
    qFatal("%s", description.c_str());
}
