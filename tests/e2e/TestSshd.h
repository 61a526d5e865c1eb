// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// A real sshd on 127.0.0.1 for one test program, with a host key made for the run, and the
// client side that reaches it: ~/.ssh/config, known_hosts and a passphrase-protected key in
// the home of the test's account record (with-test-home), which is where ssh reads them.
//
// The sshd runs as the user running the tests and serves only that user, under the login
// kUser: no account of the machine is created or used. Its account and shadow records (which
// the password is checked against, without PAM) come from nss_wrapper, and uid_wrapper has it
// believe it runs as an unprivileged user id, the same whether the tests run as root or not
// (so it never needs the privilege separation account or /run/sshd). Which sshd: $QB_TEST_SSHD,
// else the one that scripts/unpack-test-sshd unpacked into the build folder, else /usr/sbin/sshd.
// unavailableReason() says what is missing.
//
// Host aliases of the client configuration (all lead to 127.0.0.1):
//   kKeyHost       the sshd, public keys only (the agent's)
//   kPasswordHost  the sshd, password only, one prompt
//   kClosedHost    a port that nothing listens on
//   kStrictHost    the sshd, public keys only, checking its host key as ssh does by default
//                  (no accept-new): a key not in known_hosts fails the login
class TestSshd {
public:
    static constexpr const char* kUser = "qbe2e";
    static constexpr const char* kPassword = "Quill-e2e-7pw";
    static constexpr const char* kKeyPassphrase = "quill e2e passphrase";
    static constexpr const char* kKeyHost = "qbe2e-key";
    static constexpr const char* kPasswordHost = "qbe2e-password";
    static constexpr const char* kClosedHost = "qbe2e-closed";
    static constexpr const char* kStrictHost = "qbe2e-strict";

    // What the client's known_hosts says of the server: its key (as set up), no key (a line
    // for another host only), or another key (line 2, after that other host's line).
    enum class KnownKey { Right, None, Wrong };

    // Why this machine cannot run the e2e tests, or nothing when it can.
    static std::optional<std::string> unavailableReason();

    TestSshd(); // throws std::runtime_error with the sshd log when the server does not come up
    ~TestSshd();
    TestSshd(const TestSshd&) = delete;
    TestSshd& operator=(const TestSshd&) = delete;

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    const std::string& clientKeyPath() const { return clientKey_; }
    std::string logText() const;

    void recordHostKey(KnownKey known);
    std::string knownHostsPath() const;
    // The server's public host key, "type base64", and its SHA256 fingerprint (ssh-keygen -l).
    std::string hostKey() const;
    std::string hostKeyFingerprint() const;

    // The per-connection processes of the server (children of the listening sshd).
    std::vector<pid_t> sessions() const;
    // Ends one connection from the server side, as a dropped link would.
    bool dropSession(pid_t session);
    int dropAllSessions();

    // Sends `signal` to the processes of the server's connections, the sessions and the
    // processes they started; given `only`, to those of its pids that still are such processes.
    // SIGSTOP makes a peer that no longer answers while its sockets stay open and its forwarded
    // ports stay taken, SIGCONT brings it back, SIGKILL ends it also when stopped. Returns the
    // pids signalled.
    std::vector<pid_t> signalSessionProcesses(int signal, const std::vector<pid_t>* only = nullptr);
    // The server gone: the listener ends and so does every connection, frozen ones included.
    void stopListening();
    // The server back on the same port with the same host key (after stopListening).
    void listenAgain();

    // A new user's own set-up instead of the tuned one above: a key without passphrase and a
    // ~/.ssh/config that names only `alias`, 127.0.0.1, the port and that key (known_hosts
    // stays as it is).
    void writePlainClientSide(const std::string& alias);

private:
    void writeServerSide();
    void start();
    bool listen(std::string* failureLog);
    std::vector<pid_t> sessionProcesses() const;
    void writeClientSide();
    std::vector<std::string> serverEnvironment() const;

    std::string dir_;
    std::string clientKey_;
    int port_ = 0;
    int closedPort_ = 0;
    pid_t pid_ = 0;
};
