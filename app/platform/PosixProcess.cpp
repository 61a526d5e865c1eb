// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PosixProcess.h"

#include "platform/Descriptors.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <new>
#include <poll.h>
#include <pthread.h>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#ifdef __linux__
#include <sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#endif

extern char** environ;

namespace {

constexpr int kCannotStart = 127;

bool makePipe(int fds[2]) {
#ifdef __linux__
    return ::pipe2(fds, O_CLOEXEC) == 0;
#else
    if (::pipe(fds) != 0) return false;
    for (int i = 0; i < 2; ++i)
        ::fcntl(fds[i], F_SETFD, FD_CLOEXEC);
    return true;
#endif
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Writes as much of `text` as the pipe takes without blocking; nobody reads it yet.
void fillPipe(int fd, const std::string& text) {
    if (text.empty()) return;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
#ifdef __linux__
    if (text.size() > 65536) ::fcntl(fd, F_SETPIPE_SZ, static_cast<int>(text.size()));
#endif
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

// Reaps `pid` now if it has ended; true when it has been reaped (or is not ours to reap).
bool reapIfEnded(pid_t pid) {
    for (;;) {
        pid_t r = ::waitpid(pid, nullptr, WNOHANG);
        if (r == 0) return false;
        if (r < 0 && errno == EINTR) continue;
        return true;
    }
}

// In the child: moves a descriptor that sits on 0, 1 or 2 out of the way of the standard ones.
int aboveStandard(int fd) {
    if (fd < 0 || fd > STDERR_FILENO) return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    return moved < 0 ? fd : moved;
}

// In the child: puts `fd` on `target`, open across exec.
int placeOn(int fd, int target) {
    if (fd != target) return ::dup2(fd, target) < 0 ? errno : 0;
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags < 0 || ::fcntl(fd, F_SETFD, flags & ~FD_CLOEXEC) < 0) return errno;
    return 0;
}

// In the child: closes every descriptor above the standard ones except `keep`, also those
// opened without close-on-exec (by a library, or by another thread between its open and
// fcntl), so that a child never holds another child's pipe or a listening socket open.
// `limit` (the descriptor limit, asked before the start) bounds the loop where the kernel has
// no close_range.
void closeAllBut(int keep, long limit) {
    const auto closeRange = [limit](unsigned first, unsigned last) {
        if (first > last) return;
#if defined(__linux__) && defined(SYS_close_range)
        if (::syscall(SYS_close_range, first, last, 0) == 0) return;
#endif
        for (long fd = first; fd <= static_cast<long>(last) && fd < limit; ++fd)
            ::close(static_cast<int>(fd));
    };
    constexpr unsigned kFirst = STDERR_FILENO + 1;
    if (keep < static_cast<int>(kFirst)) return closeRange(kFirst, ~0U);
    closeRange(kFirst, static_cast<unsigned>(keep) - 1);
    closeRange(static_cast<unsigned>(keep) + 1, ~0U);
}

// The inherited environment with `overrides` ("NAME=value") in place of same-named entries.
std::vector<std::string> mergedEnvironment(const std::vector<std::string>& overrides) {
    std::vector<std::string> merged;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view inherited = *entry;
        const std::string_view name = inherited.substr(0, inherited.find('='));
        bool replaced = false;
        for (const std::string& o : overrides)
            replaced = replaced || (o.size() > name.size() &&
                                    o.compare(0, name.size(), name) == 0 && o[name.size()] == '=');
        if (!replaced) merged.emplace_back(inherited);
    }
    merged.insert(merged.end(), overrides.begin(), overrides.end());
    return merged;
}

// Waits for `pid` to become reapable, at most until `deadline`, without reaping it.
void awaitEnd(pid_t pid, std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
#ifdef __linux__
    // A pidfd becomes readable when the process ends: no polling loop.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        for (;;) {
            const auto left = ceil<milliseconds>(deadline - steady_clock::now());
            pollfd p{pidfd, POLLIN, 0};
            const int r = ::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
            if (r < 0 && errno == EINTR) continue;
            break;
        }
        ::close(pidfd);
        return;
    }
#endif
    // Without pidfds: look again every 10 ms.
    while (steady_clock::now() < deadline) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 &&
            errno != EINTR)
            return;
        if (info.si_pid == pid) return;
        std::this_thread::sleep_for(milliseconds(10));
    }
}

struct ChildStart {
    const char* path;
    char* const* argv;
    char* const* envp;
    bool diesWithParent;
    int stdinRead;
    int errorWrite;
    int outputWrite;
    pid_t parent;
    long descriptorLimit;
};

// Runs in the child between its start and exec: async-signal-safe calls only. Never returns.
// `outputWrite` (-1: inherit) becomes the child's standard output and standard error. Only
// 0-2 and the close-on-exec error pipe stay open up to the exec. Every signal is blocked on
// entry (see launch); the handlers are reset before any can arrive.
[[noreturn]] void execChild(const ChildStart& start) {
    // Copies on the child's own stack: on Linux `start` is the parent's memory.
    int stdinRead = start.stdinRead;
    int errorWrite = start.errorWrite;
    int outputWrite = start.outputWrite;
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    ::sigemptyset(&standard.sa_mask);
    // The application's handlers must not run here, in its memory: caught signals go back to
    // their defaults, and so do these three, which the application may ignore.
    for (int number = 1; number < NSIG; ++number) {
        struct sigaction current = {};
        if (::sigaction(number, nullptr, &current) != 0) continue;
        const bool caught = (current.sa_flags & SA_SIGINFO) != 0 ||
                            (current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN);
        if (caught || number == SIGINT || number == SIGTERM || number == SIGPIPE)
            ::sigaction(number, &standard, nullptr);
    }
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
#ifdef __linux__
    // Dies with the application; the getppid test covers a parent that died before prctl.
    if (start.diesWithParent &&
        (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != start.parent))
        ::_exit(kCannotStart);
#endif
    int error = 0;
    if (outputWrite >= 0) {
        errorWrite = aboveStandard(errorWrite);
        outputWrite = aboveStandard(outputWrite);
        if (stdinRead != STDIN_FILENO) stdinRead = aboveStandard(stdinRead);
        error = placeOn(outputWrite, STDOUT_FILENO);
        if (error == 0) error = placeOn(outputWrite, STDERR_FILENO);
    }
    if (error == 0) error = placeOn(stdinRead, STDIN_FILENO);
    if (error == 0) {
        closeAllBut(errorWrite, start.descriptorLimit);
        if (start.envp)
            ::execve(start.path, start.argv, start.envp);
        else
            ::execv(start.path, start.argv);
        error = errno;
    }
    while (::write(errorWrite, &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(kCannotStart);
}

#ifdef __linux__
// What the child needs of a stack until its exec.
constexpr std::size_t kChildStackBytes = 64 * 1024;

int childMain(void* start) {
    execChild(*static_cast<const ChildStart*>(start));
}
#endif

// Starts the child, which runs execChild. On Linux it shares our memory, on a stack of its own,
// up to its exec, while this thread waits: no copy of the application's page tables (the more
// the application holds, the more a fork costs, and the more copy-on-write faults follow it).
// Signals stay blocked in between, so none of our handlers runs in the child.
pid_t startChild(const ChildStart& start) {
    sigset_t all, previous;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
#ifdef __linux__
    pid_t pid = -1;
    if (auto stack = std::unique_ptr<char[]>(new (std::nothrow) char[kChildStackBytes])) {
        // The stack grows down from its end, which must be 16-byte aligned.
        const auto top =
            reinterpret_cast<std::uintptr_t>(stack.get() + kChildStackBytes) & ~std::uintptr_t{15};
        pid = ::clone(childMain, reinterpret_cast<void*>(top), CLONE_VM | CLONE_VFORK | SIGCHLD,
                      const_cast<ChildStart*>(&start));
    }
#else
    const pid_t pid = ::fork();
    if (pid == 0) execChild(start);
#endif
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return pid;
}

} // namespace

PosixProcess::~PosixProcess() {
    closeFd(stdinWrite_);
    closeFd(outputRead_);
    if (!launched_ || reaped_ || pid_ <= 0 || reapIfEnded(pid_)) return;
    // A child still running when its handle goes is waited for by a detached thread of its
    // own, on its pid alone: it is reaped whenever it ends, the caller never blocks, and no
    // SIGCHLD handler or wait on foreign pids is needed. If no thread can be made, the child
    // is left as a zombie rather than blocking here.
    try {
        std::thread([pid = pid_] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
    }
}

void PosixProcess::launch(const std::string& path, const std::vector<std::string>& arguments,
                          const std::string& stdinText, bool closeStdin) {
    if (launched_) return;
    launched_ = true;

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    // Built before the start: the child may only make async-signal-safe calls.
    std::vector<std::string> environment;
    std::vector<char*> envp;
    if (!environment_.empty()) {
        environment = mergedEnvironment(environment_);
        for (auto& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
    }

    // The stdin pipe is made first so that, should fd 0 be free, its read end takes it and
    // the error pipe can never sit on the child's fd 0.
    int stdinPipe[2] = {-1, -1};
    int errorPipe[2] = {-1, -1};
    if (!makePipe(stdinPipe)) return endAtOnce();
    if (!makePipe(errorPipe)) {
        closeFd(stdinPipe[0]);
        closeFd(stdinPipe[1]);
        return endAtOnce();
    }
    fillPipe(stdinPipe[1], stdinText);
    int outputPipe[2] = {-1, -1};
    if (captureOutput_ && !descriptors::makeOutputPipe(outputPipe)) {
        closeFd(stdinPipe[0]);
        closeFd(stdinPipe[1]);
        closeFd(errorPipe[0]);
        closeFd(errorPipe[1]);
        return endAtOnce();
    }

    const long descriptorLimit = ::sysconf(_SC_OPEN_MAX);
    const pid_t pid = startChild({path.c_str(), argv.data(), envp.empty() ? nullptr : envp.data(),
                                  diesWithApplication_, stdinPipe[0], errorPipe[1], outputPipe[1],
                                  ::getpid(), descriptorLimit < 0 ? 1024 : descriptorLimit});

    closeFd(stdinPipe[0]);
    closeFd(errorPipe[1]);
    closeFd(outputPipe[1]);
    if (pid < 0) {
        closeFd(stdinPipe[1]);
        closeFd(errorPipe[0]);
        closeFd(outputPipe[0]);
        return endAtOnce();
    }
    pid_ = pid;
    stdinWrite_ = stdinPipe[1];
    outputRead_ = outputPipe[0];

    // Reads nothing (end of file) once exec has closed the child's end; an errno otherwise.
    // A failed read tells neither: the child is then kept as started, never waited for here,
    // since it may be a healthy ssh. Should its exec have failed after all, it ends by itself
    // with status 127, which is how a child that could not be started looks anyway.
    int childError = 0;
    ssize_t n;
    while ((n = ::read(errorPipe[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
    }
    closeFd(errorPipe[0]);
    if (n > 0) { // the exec failed: the child is ending now
        int waitStatus = 0;
        while (::waitpid(pid, &waitStatus, 0) < 0 && errno == EINTR) {
        }
        closeFd(stdinWrite_);
        closeFd(outputRead_);
        return endAtOnce();
    }
    if (closeStdin) closeFd(stdinWrite_);
}

bool PosixProcess::isRunning() {
    if (!launched_ || reaped_) return false;
    for (;;) {
        int waitStatus = 0;
        pid_t r = ::waitpid(pid_, &waitStatus, WNOHANG);
        if (r == 0) return true;
        if (r == pid_) {
            recordEnd(waitStatus);
            return false;
        }
        if (errno == EINTR) continue;
        // ECHILD: reaped behind our back (SIGCHLD set to SIG_IGN); its status is lost.
        reaped_ = true;
        return false;
    }
}

void PosixProcess::setEnvironment(const std::string& name, const std::string& value) {
    const std::string prefix = name + "=";
    std::erase_if(environment_, [&](const std::string& e) { return e.starts_with(prefix); });
    environment_.push_back(prefix + value);
}

bool PosixProcess::waitForEnd(double seconds) {
    if (!isRunning()) return true;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
    awaitEnd(pid_, deadline);
    return !isRunning();
}

void PosixProcess::interrupt() {
    sendSignal(SIGINT);
}

void PosixProcess::terminate() {
    sendSignal(SIGTERM);
}

void PosixProcess::sendSignal(int number) {
    // An unreaped child's pid cannot be reused, so only a reaped one must not be signalled.
    // pid 0 or -1 would signal our own group or everything.
    if (launched_ && !reaped_ && pid_ > 0) ::kill(pid_, number);
}

void PosixProcess::recordEnd(int waitStatus) {
    reaped_ = true;
    if (WIFEXITED(waitStatus))
        status_ = WEXITSTATUS(waitStatus);
    else if (WIFSIGNALED(waitStatus))
        status_ = WTERMSIG(waitStatus);
}

void PosixProcess::endAtOnce() {
    reaped_ = true;
    status_ = kCannotStart;
}
