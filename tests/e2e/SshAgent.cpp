// SPDX-License-Identifier: GPL-3.0-or-later
#include "SshAgent.h"

#include "Subprocess.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

SshAgent::SshAgent(const std::string& socketPath) : socket_(socketPath) {
    ::unlink(socket_.c_str());
    auto pid = subprocess::spawn({"/usr/bin/ssh-agent", "-D", "-a", socket_},
                                 subprocess::Env::Inherit, socket_ + ".log");
    if (!pid) throw std::runtime_error("cannot start ssh-agent");
    pid_ = *pid;
    struct stat st {};
    for (int i = 0; i < 500 && ::stat(socket_.c_str(), &st) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (::stat(socket_.c_str(), &st) != 0) {
        subprocess::stop(pid_);
        throw std::runtime_error("ssh-agent made no socket at " + socket_);
    }
}

SshAgent::~SshAgent() {
    subprocess::stop(pid_);
    ::unlink(socket_.c_str());
}

void SshAgent::exportSocket() const {
    ::setenv("SSH_AUTH_SOCK", socket_.c_str(), 1);
    ::unsetenv("SSH_AGENT_PID");
}

std::vector<std::string> SshAgent::keys() const {
    auto result = subprocess::run({"/usr/bin/ssh-add", "-l"});
    std::vector<std::string> lines;
    if (result.exitCode != 0) return lines; // 1: no identities
    std::istringstream in(result.output);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

void SshAgent::removeAllKeys() const {
    subprocess::run({"/usr/bin/ssh-add", "-D"});
}
