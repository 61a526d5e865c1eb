#include "TestSshd.h"

#include "Loopback.h"
#include "ProcessTable.h"
#include "Subprocess.h"
#include "platform/Accounts.h"
#include "platform/Files.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
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

// useradd and chpasswd lock /etc/passwd and /etc/shadow; test programs running side by side
// take turns through a lock file of their own.
void ensureAccount() {
    int lock = ::open("/tmp/qbe2e-account.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock >= 0) ::flock(lock, LOCK_EX);
    auto added = subprocess::run({"/usr/sbin/useradd", "-m", "-s", "/bin/sh", TestSshd::kUser},
                                 Env::RealAccounts);
    auto changed = subprocess::run({"/usr/sbin/chpasswd"}, Env::RealAccounts,
                                   std::string(TestSshd::kUser) + ":" + TestSshd::kPassword + "\n");
    if (lock >= 0) ::close(lock);
    // 9: the account exists already.
    if (added.exitCode != 0 && added.exitCode != 9)
        throw std::runtime_error("useradd failed: " + added.output);
    if (changed.exitCode != 0) throw std::runtime_error("chpasswd failed: " + changed.output);
}

std::string firstTwoWords(const std::string& line) {
    std::istringstream in(line);
    std::string type, key;
    in >> type >> key;
    return type + " " + key;
}

} // namespace

std::optional<std::string> TestSshd::unavailableReason() {
    if (::geteuid() != 0)
        return "the e2e tests create the server account qbe2e and so must run as root (as CI does)";
    if (::access("/usr/sbin/sshd", X_OK) != 0 || ::access("/usr/bin/ssh", X_OK) != 0)
        return "openssh-server and openssh-client are needed (scripts/install-deps)";
    if (!std::getenv("QB_TEST_HOME") || !accounts::homeDirectory())
        return "run under tests/support/with-test-home, which gives the account record a home";
    return std::nullopt;
}

TestSshd::TestSshd() {
    ensureAccount();
    ::mkdir("/run/sshd", 0755);

    char dirTemplate[] = "/tmp/qb-sshd.XXXXXX";
    if (!::mkdtemp(dirTemplate)) throw std::runtime_error("mkdtemp failed");
    dir_ = dirTemplate;
    // sshd reads the authorized keys as qbe2e, which must be able to reach them.
    ::chmod(dir_.c_str(), 0755);

    runOrThrow({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "qbe2e-host", "-f",
                dir_ + "/host_key"});

    const std::string sshDir = *accounts::homeDirectory() + "/.ssh";
    ::mkdir(sshDir.c_str(), 0700);
    clientKey_ = sshDir + "/qbe2e_key";
    ::unlink(clientKey_.c_str());
    ::unlink((clientKey_ + ".pub").c_str());
    runOrThrow({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", kKeyPassphrase, "-C",
                "qbe2e-client", "-f", clientKey_});
    writeFile(dir_ + "/authorized_keys", readFile(clientKey_ + ".pub"), 0644);

    start();
    writeClientSide();
}

TestSshd::~TestSshd() {
    dropAllSessions();
    subprocess::stop(pid_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void TestSshd::start() {
    std::string lastLog;
    // The free port may be taken between our look and sshd's bind: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = loopback::freePort();
        do
            closedPort_ = loopback::freePort();
        while (closedPort_ == port_);
        const std::string config = dir_ + "/sshd_config";
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
                      "LogLevel VERBOSE\n",
                  0600);
        const std::string log = dir_ + "/sshd.log";
        ::unlink(log.c_str());
        // sshd must see the real account database, not the test's account record.
        auto pid =
            subprocess::spawn({"/usr/sbin/sshd", "-D", "-f", config, "-E", log}, Env::RealAccounts);
        if (!pid) throw std::runtime_error("cannot start /usr/sbin/sshd");
        pid_ = *pid;
        for (int i = 0; i < 500; ++i) {
            if (proctable::hasEnded(pid_)) break;
            if (loopback::connectTo(port_, 1).valid()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        lastLog = readFile(log);
        subprocess::stop(pid_);
        pid_ = 0;
    }
    throw std::runtime_error("sshd did not come up on 127.0.0.1:\n" + lastLog);
}

void TestSshd::writeClientSide() {
    const std::string sshDir = *accounts::homeDirectory() + "/.ssh";
    const std::string knownHosts = sshDir + "/known_hosts";
    writeFile(knownHosts,
              "[127.0.0.1]:" + std::to_string(port_) + " " +
                  firstTwoWords(readFile(dir_ + "/host_key.pub")) + "\n",
              0600);

    // The options every tunnel of a real user should have too (see README).
    auto host = [&](const std::string& alias, int port, const std::string& extra) {
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
               "  StrictHostKeyChecking accept-new\n"
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
                  host(kClosedHost, closedPort_, ""),
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
