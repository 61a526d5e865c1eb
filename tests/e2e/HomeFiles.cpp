// SPDX-License-Identifier: GPL-3.0-or-later
#include "HomeFiles.h"

#include "platform/Accounts.h"
#include "platform/Files.h"
#include "store/Cipher.h"

#include <stdexcept>

namespace homefiles {
namespace {

void write(const std::string& name, const std::string& content) {
    if (!files::writeAtomically(path(name), content))
        throw std::runtime_error("cannot write " + path(name));
}

const char* flag(bool on) {
    return on ? "1" : "0";
}

} // namespace

std::string path(const std::string& name) {
    auto home = accounts::homeDirectory();
    if (!home) throw std::runtime_error("no account record: run under with-test-home");
    return *home + "/" + name;
}

void writeServiceList(const std::vector<Service>& services) {
    const char unit = 0x1F;
    std::string plain;
    for (const auto& s : services) {
        if (!plain.empty()) plain += "\r\n";
        plain += s.server + unit + s.listenPort + unit + s.user + unit + s.password + unit +
                 s.description;
    }
    write(".QuillboreSSH.lst", cipher::encryptString(plain, accounts::loginName().value_or("")));
}

void writePreferences(const Preferences& p) {
    std::string plain;
    for (const std::string& line :
         {std::string(flag(p.mode == Mode::KeyFiles)),
          std::string(flag(p.mode == Mode::OwnCommand)), std::string(flag(p.mode == Mode::Askpass)),
          std::string(flag(p.prompt)), p.command, p.arguments, std::string(flag(p.reconnect))})
        plain += line + "\r\n";
    // The key-file list is one line at least, empty when there are no key files.
    if (p.keyFiles.empty()) plain += "\r\n";
    for (const auto& key : p.keyFiles)
        plain += key + "\r\n";
    write(".QuillboreSSH", cipher::encryptString(plain, "529"));
}

void removeAll() {
    for (const char* name : {".QuillboreSSH.lst", ".QuillboreSSH", ".ssh-askpass"})
        files::remove(path(name));
}

} // namespace homefiles
