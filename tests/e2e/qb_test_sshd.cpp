// SPDX-License-Identifier: GPL-3.0-or-later
// qb-test-sshd: the test sshd (TestSshd.h) for tests written in another language.
//
//   qb-test-sshd [--plain-client ALIAS]
//
// Starts the server and prints "ready <port> <listener pid>" (or "skip <reason>" and exits 77
// where the machine cannot run it). With --plain-client the home's ~/.ssh/config is a new
// user's plain one for ALIAS (TestSshd::writePlainClientSide). Then reads one command a line
// and answers each with one line, "ok ..." or "error <why>":
//   sessions   ok <number of connections>
//   freeze     ok <processes>   every connection process stopped (SIGSTOP)
//   thaw       ok <processes>   the frozen ones resumed (SIGCONT)
//   kill       ok <processes>   the frozen ones ended (SIGKILL); later connections stay
//   stop       ok               the listener and every connection ended
//   start      ok               listening again on the same port
//   log        the server's log, each line after "| ", then ok
// When standard input closes, every connection is ended and the server too.
#include "ProcessTable.h"
#include "SkipReporting.h"
#include "TestSshd.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// An answer is one line: the lines of a reason that holds a server log are joined at "/".
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n') c = '/';
    return text;
}

std::vector<pid_t> frozen;

// A connection process whose parent was killed first comes to us (a subreaper) instead of to
// an init that may never reap it. The listener is TestSshd's to reap.
void reapOrphans(pid_t listener) {
    for (const auto& zombie : proctable::zombieChildrenOf(::getpid()))
        if (zombie.pid != listener) ::waitpid(zombie.pid, nullptr, WNOHANG);
}

std::string answer(TestSshd& server, const std::string& command) {
    if (command == "sessions") return "ok " + std::to_string(server.sessions().size());
    if (command == "freeze") {
        frozen = server.signalSessionProcesses(SIGSTOP);
        return "ok " + std::to_string(frozen.size());
    }
    if (command == "thaw" || command == "kill") {
        const auto signalled =
            server.signalSessionProcesses(command == "thaw" ? SIGCONT : SIGKILL, &frozen);
        frozen.clear();
        return "ok " + std::to_string(signalled.size());
    }
    if (command == "stop") {
        server.stopListening();
        frozen.clear();
        return "ok";
    }
    if (command == "start") {
        server.listenAgain();
        return "ok";
    }
    if (command == "log") {
        std::istringstream lines(server.logText());
        std::string out, line;
        while (std::getline(lines, line))
            out += "| " + line + "\n";
        return out + "ok";
    }
    return "error unknown command: " + command;
}

} // namespace

int main(int argc, char** argv) {
    // The test reading our answers may be gone; its end is our end, not a signal.
    ::signal(SIGPIPE, SIG_IGN);
    std::string plainAlias;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--plain-client") == 0 && i + 1 < argc) {
            plainAlias = argv[++i];
        } else {
            std::cerr << "usage: qb-test-sshd [--plain-client ALIAS]\n";
            return 2;
        }
    }
    if (auto reason = TestSshd::unavailableReason()) {
        std::cout << "skip " << *reason << std::endl;
        return kSkippedExitCode;
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::unique_ptr<TestSshd> server;
    try {
        server = std::make_unique<TestSshd>();
        if (!plainAlias.empty()) server->writePlainClientSide(plainAlias);
    } catch (const std::exception& e) {
        std::cout << "error " << oneLine(e.what()) << std::endl;
        return 1;
    }
    std::cout << "ready " << server->port() << " " << server->pid() << std::endl;
    std::string command;
    while (std::getline(std::cin, command)) {
        try {
            std::cout << answer(*server, command) << std::endl;
        } catch (const std::exception& e) {
            std::cout << "error " << oneLine(e.what()) << std::endl;
        }
        reapOrphans(server->pid());
    }
    server->signalSessionProcesses(SIGKILL);
    server.reset();
    // Every connection process has been signalled: wait for the last orphans to end.
    for (int i = 0; i < 500 && ::waitpid(-1, nullptr, WNOHANG) >= 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 0;
}
