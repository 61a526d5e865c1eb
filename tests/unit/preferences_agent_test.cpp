// SPDX-License-Identifier: GPL-3.0-or-later
// reloadPreferences with the real process launcher: a passphrase-protected key reaches a real
// ssh-agent through ssh-add and the passphrase on its standard input.
#include "CapturingLog.h"
#include "FakeAuthorizer.h"
#include "ManualRunLoop.h"
#include "MemoryLayout.h"
#include "ReferenceCipher.h"
#include "controller/QuillboreDel.h"
#include "platform/Files.h"
#include "platform/PosixProcessLauncher.h"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Standard output of a shell command.
std::string output(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        std::size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            out.append(buffer.data(), n);
        ::pclose(pipe);
    }
    return out;
}

bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

// An ssh-agent in the foreground on its own socket, ended with the test.
class TestAgent {
public:
    explicit TestAgent(std::string socket) : socket_(std::move(socket)) {
        pid_ = ::fork();
        if (pid_ == 0) {
            if (int null = ::open("/dev/null", O_WRONLY); null >= 0) ::dup2(null, STDOUT_FILENO);
            ::execl("/usr/bin/ssh-agent", "ssh-agent", "-D", "-a", socket_.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~TestAgent() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        ::unlink(socket_.c_str());
    }
    bool ready() const {
        struct stat st {};
        return pid_ > 0 && ::stat(socket_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
    }

private:
    std::string socket_;
    pid_t pid_ = -1;
};

} // namespace

TEST(PreferencesAgent, APassphraseProtectedKeyReachesTheAgent) {
    if (::access("/usr/bin/ssh-agent", X_OK) != 0 || ::access("/usr/bin/ssh-add", X_OK) != 0 ||
        ::access("/usr/bin/ssh-keygen", X_OK) != 0)
        GTEST_SKIP() << "OpenSSH client tools not installed";
    const std::string root = env("QB_TEST_ROOT");
    const std::string home = env("QB_TEST_HOME");
    ASSERT_FALSE(root.empty()) << "run under with-test-home";

    const std::string socket = root + "/agent.sock";
    TestAgent agent(socket);
    ASSERT_TRUE(waitFor([&] { return agent.ready(); })) << "ssh-agent did not start";
    ::setenv("SSH_AUTH_SOCK", socket.c_str(), 1);
    // A desktop: a display and an askpass program. ssh-add must still read the passphrase
    // from its standard input and never run the askpass program.
    const std::string decoy = root + "/decoy-askpass";
    const std::string decoyRan = root + "/decoy-askpass-ran";
    ASSERT_TRUE(files::writeAtomically(decoy, "#!/bin/sh\ntouch '" + decoyRan + "'\necho wrong\n"));
    ASSERT_EQ(::chmod(decoy.c_str(), 0700), 0);
    ::setenv("SSH_ASKPASS", decoy.c_str(), 1);
    ::unsetenv("SSH_ASKPASS_REQUIRE");
    ::setenv("DISPLAY", ":nonexistent", 1);
    ::setenv("WAYLAND_DISPLAY", "nonexistent-0", 1);

    ASSERT_EQ(::mkdir((home + "/.ssh").c_str(), 0700), 0);
    const std::string key = home + "/.ssh/k";
    ASSERT_EQ(std::system(("ssh-keygen -q -t ed25519 -C quillbore-agent-test -N pass -f '" + key +
                           "' </dev/null >/dev/null")
                              .c_str()),
              0);
    std::string fingerprint = output("ssh-keygen -l -f '" + key + ".pub' | cut -d' ' -f2");
    while (!fingerprint.empty() && fingerprint.back() == '\n')
        fingerprint.pop_back();
    ASSERT_FALSE(fingerprint.empty());
    ASSERT_EQ(output("ssh-add -l").find(fingerprint), std::string::npos);

    const std::string plain = "1\r\n0\r\n0\r\n0\r\n\r\n\r\n0\r\n" + key + ":pass\r\n";
    ASSERT_TRUE(files::writeAtomically(home + "/.QuillboreSSH", referenceEncipher(plain, 3)));

    ManualRunLoop runLoop;
    PosixProcessLauncher launcher;
    CapturingLog log;
    FakeAuthorizer authorizer;
    MemoryLayout ui;
    QuillboreDel controller{runLoop, launcher, log, authorizer};
    ui.wire(controller);
    controller.reloadPreferences();

    EXPECT_TRUE(waitFor([&] {
        return output("ssh-add -l").find(fingerprint) != std::string::npos;
    })) << "the key did not reach the agent";
    EXPECT_NE(::access(decoyRan.c_str(), F_OK), 0) << "ssh-add ran the askpass program";
    EXPECT_TRUE(log.contains("-- 1 : ********"));
    for (const auto& line : log.lines)
        EXPECT_EQ(line.find("pass\n"), std::string::npos);
}
