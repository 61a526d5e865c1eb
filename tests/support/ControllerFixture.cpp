// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerFixture.h"

#include "platform/Accounts.h"
#include "platform/Files.h"

#include <stdexcept>

std::string ControllerFixture::home() {
    auto h = accounts::homeDirectory();
    if (!h) throw std::runtime_error("no account record: run the test under with-test-home");
    return *h;
}

std::string ControllerFixture::readHomeFile(const std::string& name) {
    return files::readWhole(home() + "/" + name).value_or("");
}

void ControllerFixture::writeHomeFile(const std::string& name, const std::string& content) {
    files::writeAtomically(home() + "/" + name, content);
}

void ControllerFixture::removeHomeFile(const std::string& name) { files::remove(home() + "/" + name); }
