// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSshd.h"

#include "Loopback.h"
#include "ProcessTable.h"
#include "Subprocess.h"
#include "platform/Accounts.h"
#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <crypt.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using subprocess::Env;

std::string readFile(const std::string& path) {
    return files::readWhole(path).value_or("");
}

void writeFile(const std::string& path, const std::string& content, mode_t mode) {
    if (!files::writeAtomically(path, content)) throw std::runtime_error("cannot write " + path);
    ::chmod(path.c_str(), mode);
}

void runOrThrow(const std::vector<std::string>& argv, Env env = Env::Inherit,
                const std::string& input = {}) {
    auto r = subprocess::run(argv, env, input);
    if (r.exitCode != 0)
        throw std::runtime_error(argv[0] + " failed (" + std::to_string(r.exitCode) +
                                 "): " + r.output);
}

// What the sshd believes its user and group ids are (uid_wrapper): any unprivileged number.
constexpr const char* kServerId = "4242";

std::string sshdPath() {
    if (const char* chosen = std::getenv("QB_TEST_SSHD"); chosen && *chosen) return chosen;
    const std::string unpacked = QB_TEST_SSHD_DIR "/usr/sbin/sshd";
    if (::access(unpacked.c_str(), X_OK) == 0) return unpacked;
    return "/usr/sbin/sshd";
}

bool isFile(const char* path) {
    return *path && ::access(path, R_OK) == 0;
}

// kPassword as the shadow record holds it; crypt(3) with the salt of a SHA-512 hash.
std::string passwordHash(const char* password) {
    crypt_data data = {};
    const char* hash = ::crypt_r(password, "$6$qbe2e$", &data);
    if (!hash || *hash != '$') throw std::runtime_error("crypt cannot make a SHA-512 hash");
    return hash;
}

std::string firstTwoWords(const std::string& line) {
    std::istringstream in(line);
    std::string type, key;
    in >> type >> key;
    return type + " " + key;
}

} // namespace

std::optional<std::string> TestSshd::unavailableReason() {
    const std::string sshd = sshdPath();
    if (::access(sshd.c_str(), X_OK) != 0)
        return "no sshd at " + sshd +
               ": scripts/unpack-test-sshd " QB_TEST_SSHD_DIR
               " unpacks one (CTest runs it before the e2e tests)";
    if (::access("/usr/bin/ssh", X_OK) != 0 || ::access("/usr/bin/ssh-keygen", X_OK) != 0)
        return "openssh-client is needed (scripts/install-deps test)";
    if (!isFile(QB_NSS_WRAPPER_LIB) || !isFile(QB_UID_WRAPPER_LIB))
        return "libnss-wrapper and libuid-wrapper are needed (scripts/install-deps test), then a "
               "new cmake configure";
    if (!std::getenv("QB_TEST_HOME") || !accounts::homeDirectory())
        return "run under tests/support/with-test-home, which gives the account record a home";
    return std::nullopt;
}

TestSshd::TestSshd() {
    const char* tmp = std::getenv("TMPDIR");
    std::string dirTemplate = std::string(tmp && *tmp ? tmp : "/tmp") + "/qb-sshd.XXXXXX";
    if (!::mkdtemp(dirTemplate.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = dirTemplate;

    const std::string sshDir = *accounts::homeDirectory() + "/.ssh";
    ::mkdir(sshDir.c_str(), 0700);
    clientKey_ = sshDir + "/qbe2e_key";
    ::unlink(clientKey_.c_str());
    ::unlink((clientKey_ + ".pub").c_str());
    try {
        runOrThrow({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", kKeyPassphrase, "-C",
                    "qbe2e-client", "-f", clientKey_});
        writeServerSide();
        start();
        writeClientSide();
    } catch (...) {
        // No destructor runs for an object whose constructor throws.
        subprocess::stop(pid_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        throw;
    }
}

TestSshd::~TestSshd() {
    // A frozen session acts on the SIGTERM only once it runs again.
    signalSessionProcesses(SIGCONT);
    dropAllSessions();
    subprocess::stop(pid_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

// The server's own world, all inside dir_: host key, authorized keys, and the account and
// shadow records of kUser (nss_wrapper), the latter with kPassword's hash.
void TestSshd::writeServerSide() {
    runOrThrow({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "qbe2e-host", "-f",
                dir_ + "/host_key"});
    // Another server's key, for a known_hosts that records a wrong one.
    runOrThrow({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "qbe2e-other", "-f",
                dir_ + "/other_key"});
    writeFile(dir_ + "/authorized_keys", readFile(clientKey_ + ".pub"), 0600);

    const std::string home = dir_ + "/home";
    ::mkdir(home.c_str(), 0700);
    writeFile(dir_ + "/passwd",
              std::string(kUser) + ":x:" + kServerId + ":" + kServerId +
                  ":QuillboreSSH e2e:" + home + ":/bin/sh\n",
              0600);
    writeFile(dir_ + "/group", std::string(kUser) + ":x:" + kServerId + ":\n", 0600);
    writeFile(dir_ + "/shadow",
              std::string(kUser) + ":" + passwordHash(kPassword) + ":19000::::::\n", 0600);
    const std::string uid = std::to_string(::getuid()), gid = std::to_string(::getgid());
    writeFile(dir_ + "/session-passwd",
              std::string(kUser) + ":x:" + uid + ":" + gid + ":QuillboreSSH e2e:" + home +
                  ":/bin/sh\n",
              0600);
    writeFile(dir_ + "/session-group", std::string(kUser) + ":x:" + gid + ":\n", 0600);
}

std::vector<std::string> TestSshd::serverEnvironment() const {
    auto env = subprocess::environment(subprocess::Env::RealAccounts);
    env.push_back(std::string("LD_PRELOAD=") + QB_UID_WRAPPER_LIB + ":" + QB_NSS_WRAPPER_LIB);
    for (const char* id : {"RUID", "EUID", "SUID", "RGID", "EGID", "SGID"})
        env.push_back(std::string("UID_WRAPPER_INITIAL_") + id + "=" + kServerId);
    for (const std::string& entry : std::vector<std::string>{
             "UID_WRAPPER=1", "NSS_WRAPPER_PASSWD=" + dir_ + "/passwd",
             "NSS_WRAPPER_GROUP=" + dir_ + "/group", "NSS_WRAPPER_SHADOW=" + dir_ + "/shadow"})
        env.push_back(entry);
    return env;
}

void TestSshd::start() {
    std::string lastLog;
    // The free port may be taken between our look and sshd's bind: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = loopback::freePort();
        do
            closedPort_ = loopback::freePort();
        while (closedPort_ == port_);
        ::unlink((dir_ + "/sshd.log").c_str());
        if (listen(&lastLog)) return;
    }
    throw std::runtime_error("sshd did not come up on 127.0.0.1:\n" + lastLog);
}

bool TestSshd::listen(std::string* failureLog) {
    const std::string sshd = sshdPath();
    // A command run through the server runs as the user running the tests, whom its own
    // account record names kUser too.
    const std::string sessionEnv = std::string("SetEnv LD_PRELOAD=") + QB_NSS_WRAPPER_LIB +
                                   " NSS_WRAPPER_PASSWD=" + dir_ + "/session-passwd" +
                                   " NSS_WRAPPER_GROUP=" + dir_ + "/session-group\n";
    const std::string config = dir_ + "/sshd_config";
    // No PAM: sshd checks the password against the shadow record itself. Under pam_wrapper
    // every connection process would hold one of the 62 folders /tmp/pam.[0-9A-Za-z],
    // shared by every pam_wrapper process on the machine, for its whole life, and exits
    // before the banner when none is free: 100 tunnels could never all log in.
    writeFile(config,
              "Port " + std::to_string(port_) +
                  "\n"
                  "ListenAddress 127.0.0.1\n"
                  "HostKey " +
                  dir_ +
                  "/host_key\n"
                  "PidFile " +
                  dir_ +
                  "/sshd.pid\n"
                  "AuthorizedKeysFile " +
                  dir_ +
                  "/authorized_keys\n"
                  "PasswordAuthentication yes\n"
                  "KbdInteractiveAuthentication no\n"
                  "PermitRootLogin no\n"
                  "UsePAM no\n"
                  "StrictModes no\n"
                  "AllowTcpForwarding yes\n"
                  "GatewayPorts no\n"
                  "X11Forwarding no\n"
                  "UseDNS no\n"
                  "MaxStartups 200\n"
                  "MaxSessions 200\n"
                  "MaxAuthTries 6\n"
                  "LoginGraceTime 20\n"
                  "ClientAliveInterval 5\n"
                  "LogLevel VERBOSE\n" +
                  sessionEnv,
              0600);
    // sshd appends to its log: a server started again keeps the lines of its first run.
    const std::string log = dir_ + "/sshd.log";
    // sshd re-executes itself for each connection, so it must be started by absolute path.
    auto pid = subprocess::spawn({sshd, "-D", "-f", config, "-E", log}, serverEnvironment(), log);
    if (!pid) throw std::runtime_error("cannot start " + sshd);
    pid_ = *pid;
    for (int i = 0; i < 500; ++i) {
        if (proctable::hasEnded(pid_)) break;
        if (loopback::connectTo(port_, 1).valid()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    *failureLog = readFile(log);
    subprocess::stop(pid_);
    pid_ = 0;
    return false;
}

std::string TestSshd::knownHostsPath() const {
    return *accounts::homeDirectory() + "/.ssh/known_hosts";
}

std::string TestSshd::hostKey() const {
    return firstTwoWords(readFile(dir_ + "/host_key.pub"));
}

std::string TestSshd::hostKeyFingerprint() const {
    auto r = subprocess::run(
        {"/usr/bin/ssh-keygen", "-l", "-E", "sha256", "-f", dir_ + "/host_key.pub"});
    std::istringstream words(r.output);
    std::string bits, fingerprint;
    words >> bits >> fingerprint;
    return fingerprint;
}

void TestSshd::recordHostKey(KnownKey known) {
    const std::string server = "[127.0.0.1]:" + std::to_string(port_) + " ";
    const std::string other = firstTwoWords(readFile(dir_ + "/other_key.pub"));
    switch (known) {
    case KnownKey::Right:
        writeFile(knownHostsPath(), server + hostKey() + "\n", 0600);
        break;
    case KnownKey::None:
        writeFile(knownHostsPath(), "other.example " + other + "\n", 0600);
        break;
    case KnownKey::Wrong:
        writeFile(knownHostsPath(), "other.example " + other + "\n" + server + other + "\n", 0600);
        break;
    }
}

void TestSshd::writeClientSide() {
    const std::string sshDir = *accounts::homeDirectory() + "/.ssh";
    const std::string knownHosts = knownHostsPath();
    recordHostKey(KnownKey::Right);

    // The options every tunnel of a real user should have too (see README).
    auto host = [&](const std::string& alias, int port, const std::string& extra,
                    const std::string& checking = "accept-new") {
        return "Host " + alias +
               "\n"
               "  HostName 127.0.0.1\n"
               "  Port " +
               std::to_string(port) +
               "\n"
               "  AddressFamily inet\n"
               "  UserKnownHostsFile " +
               knownHosts +
               "\n"
               "  StrictHostKeyChecking " +
               checking +
               "\n"
               "  BatchMode no\n"
               "  ServerAliveInterval 2\n"
               "  ServerAliveCountMax 3\n"
               "  ExitOnForwardFailure yes\n"
               "  ConnectTimeout 5\n"
               "  LogLevel ERROR\n" +
               extra;
    };
    writeFile(sshDir + "/config",
              host(kKeyHost, port_,
                   "  PasswordAuthentication no\n"
                   "  KbdInteractiveAuthentication no\n") +
                  host(kPasswordHost, port_,
                       "  PubkeyAuthentication no\n"
                       "  KbdInteractiveAuthentication no\n"
                       "  PreferredAuthentications password\n"
                       "  NumberOfPasswordPrompts 1\n") +
                  host(kClosedHost, closedPort_, "") +
                  host(kStrictHost, port_,
                       "  PasswordAuthentication no\n"
                       "  KbdInteractiveAuthentication no\n",
                       "ask"),
              0600);
}

std::string TestSshd::logText() const {
    return readFile(dir_ + "/sshd.log");
}

std::vector<pid_t> TestSshd::sessions() const {
    std::vector<pid_t> out;
    if (pid_ <= 0) return out;
    for (const auto& child : proctable::childrenOf(pid_))
        if (child.state != 'Z') out.push_back(child.pid);
    return out;
}

bool TestSshd::dropSession(pid_t session) {
    // Only a child of our own listener: never another sshd on the machine.
    auto entry = proctable::lookup(session);
    if (!entry || entry->parent != pid_) return false;
    return ::kill(session, SIGTERM) == 0;
}

int TestSshd::dropAllSessions() {
    int dropped = 0;
    for (pid_t session : sessions())
        if (dropSession(session)) ++dropped;
    return dropped;
}

std::vector<pid_t> TestSshd::sessionProcesses() const {
    std::vector<pid_t> out = sessions();
    for (std::size_t i = 0; i < out.size(); ++i)
        for (const auto& child : proctable::childrenOf(out[i]))
            if (child.state != 'Z') out.push_back(child.pid);
    return out;
}

std::vector<pid_t> TestSshd::signalSessionProcesses(int signal, const std::vector<pid_t>* only) {
    std::vector<pid_t> signalled;
    if (pid_ <= 0) return signalled;
    // A listener held still forks no new connection while we walk its tree.
    ::kill(pid_, SIGSTOP);
    for (pid_t process : sessionProcesses())
        if ((!only || std::find(only->begin(), only->end(), process) != only->end()) &&
            ::kill(process, signal) == 0)
            signalled.push_back(process);
    ::kill(pid_, SIGCONT);
    return signalled;
}

void TestSshd::stopListening() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGSTOP);
    // Killed, not asked: a frozen session would hold its ports until it is resumed.
    for (pid_t process : sessionProcesses())
        ::kill(process, SIGKILL);
    ::kill(pid_, SIGCONT);
    subprocess::stop(pid_);
    pid_ = 0;
}

void TestSshd::listenAgain() {
    std::string log;
    // Clients that were cut off may hold the port in TIME_WAIT; sshd binds with SO_REUSEADDR.
    if (!listen(&log))
        throw std::runtime_error("sshd did not come back on 127.0.0.1:" + std::to_string(port_) +
                                 ":\n" + log);
}

void TestSshd::writePlainClientSide(const std::string& alias) {
    const std::string sshDir = *accounts::homeDirectory() + "/.ssh";
    const std::string key = sshDir + "/id_ed25519";
    ::unlink(key.c_str());
    ::unlink((key + ".pub").c_str());
    runOrThrow(
        {"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "qbe2e-plain", "-f", key});
    writeFile(dir_ + "/authorized_keys",
              readFile(dir_ + "/authorized_keys") + readFile(key + ".pub"), 0600);
    writeFile(sshDir + "/config",
              "Host " + alias + "\n  HostName 127.0.0.1\n  Port " + std::to_string(port_) +
                  "\n  IdentityFile " + key + "\n",
              0600);
}
