// SPDX-License-Identifier: GPL-3.0-or-later
#include "Subprocess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

extern char** environ;

namespace subprocess {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Starts argv with the environment `envStrings`; consumes `actions`. Returns posix_spawn's code.
int spawnWith(posix_spawn_file_actions_t& actions, const std::vector<std::string>& argv,
              std::vector<std::string> envStrings, pid_t& pid) {
    std::vector<std::string> args = argv;
    auto argp = pointers(args);
    auto envp = pointers(envStrings);
    int rc = ::posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc;
}

// Waits for `pid` up to `deadline`; true and the status when it ended.
bool waitUntil(pid_t pid, Clock::time_point deadline, int& status) {
    for (;;) {
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno != EINTR) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

std::vector<std::string> environment(Env env) {
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        if (env == Env::RealAccounts &&
            (entry.rfind("LD_PRELOAD=", 0) == 0 || entry.rfind("NSS_WRAPPER_", 0) == 0 ||
             entry.rfind("PAM_WRAPPER", 0) == 0 || entry.rfind("UID_WRAPPER", 0) == 0))
            continue;
        out.push_back(std::move(entry));
    }
    return out;
}

Result run(const std::vector<std::string>& argv, Env env, const std::string& input,
           double timeoutSeconds) {
    Result result;
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return result;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);

    pid_t pid = 0;
    int rc = spawnWith(actions, argv, environment(env), pid);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) {
        ::close(in[1]);
        ::close(out[0]);
        result.output = std::strerror(rc);
        return result;
    }
    if (!input.empty()) {
        ::signal(SIGPIPE, SIG_IGN);
        [[maybe_unused]] ssize_t n = ::write(in[1], input.data(), input.size());
    }
    ::close(in[1]);

    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<long>(timeoutSeconds * 1000));
    char buffer[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{out[0], POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    if (!waitUntil(pid, deadline, status)) {
        ::kill(pid, SIGKILL);
        waitUntil(pid, Clock::now() + std::chrono::seconds(5), status);
        return result;
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::optional<pid_t> spawn(const std::vector<std::string>& argv, Env env,
                           const std::string& logPath) {
    return spawn(argv, environment(env), logPath);
}

std::optional<pid_t> spawn(const std::vector<std::string>& argv,
                           const std::vector<std::string>& environment,
                           const std::string& logPath) {
    std::vector<std::string> args = argv;
    std::vector<std::string> envStrings = environment;
    auto argp = pointers(args);
    auto envp = pointers(envStrings);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        // Between fork and exec only async-signal-safe calls.
#ifdef __linux__
        // Ends with this process also when it dies without running its destructors (a crash,
        // CTest's time limit); the getppid test covers a parent that died before prctl.
        if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent) ::_exit(127);
#endif
        int in = ::open("/dev/null", O_RDONLY);
        if (in < 0 || ::dup2(in, 0) < 0) ::_exit(127);
        if (!logPath.empty()) {
            int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            if (out < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0) ::_exit(127);
        }
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

void stop(pid_t pid, double graceSeconds) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    int status = 0;
    auto grace = Clock::now() + std::chrono::milliseconds(static_cast<long>(graceSeconds * 1000));
    if (waitUntil(pid, grace, status)) return;
    ::kill(pid, SIGKILL);
    waitUntil(pid, Clock::now() + std::chrono::seconds(5), status);
}

} // namespace subprocess
