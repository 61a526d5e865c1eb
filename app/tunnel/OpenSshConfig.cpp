// SPDX-License-Identifier: GPL-3.0-or-later
#include "tunnel/OpenSshConfig.h"

#include "platform/Accounts.h"

#include <algorithm>
#include <dirent.h>
#include <sstream>
#include <sys/stat.h>

namespace {

void addFile(std::string& signature, const std::string& path) {
    struct stat st {};
    signature += path;
    if (::stat(path.c_str(), &st) == 0)
        signature += ' ' + std::to_string(st.st_ino) + ' ' + std::to_string(st.st_size) + ' ' +
                     std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec);
    signature += '\n';
}

} // namespace

SshConfigQuery::Settings OpenSshConfig::settingsFor(const std::string& destination) {
    const std::string signature = filesSignature();
    if (signature != signature_) {
        answers_.clear();
        signature_ = signature;
    }
    auto found = answers_.find(destination);
    if (found == answers_.end()) found = answers_.emplace(destination, ask(destination)).first;
    return found->second;
}

SshConfigQuery::Settings OpenSshConfig::ask(const std::string& destination) {
    std::unique_ptr<ChildProcess> ssh = launcher_.create();
    if (!ssh) return {};
    ssh->captureOutput();
    ssh->launch("/usr/bin/ssh", {"-G", destination}, {}, true);
    // The answer is a few kilobytes: it fits the pipe, so the child ends without being read.
    if (!ssh->waitForEnd(kAnswerSeconds)) {
        ssh->terminate();
        return {};
    }
    std::string output;
    ssh->readOutput(output, 1 << 20); // all of it: the child has ended
    return ssh->exitStatus() == 0 ? parse(output) : Settings{};
}

SshConfigQuery::Settings OpenSshConfig::parse(const std::string& output) {
    Settings settings;
    std::istringstream lines(output);
    std::string keyword, value;
    while (lines >> keyword && std::getline(lines >> std::ws, value)) {
        if (keyword == "serveraliveinterval") settings.serverAliveInterval = value != "0";
        if (keyword == "exitonforwardfailure") settings.exitOnForwardFailure = value == "yes";
    }
    return settings;
}

std::string OpenSshConfig::filesSignature() {
    std::string signature;
    if (auto home = accounts::homeDirectory()) addFile(signature, *home + "/.ssh/config");
    addFile(signature, "/etc/ssh/ssh_config");
    const std::string folder = "/etc/ssh/ssh_config.d";
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        addFile(signature, folder + "/" + name);
    return signature;
}
