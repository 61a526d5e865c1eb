// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PosixProcess.h"
#include "platform/PosixProcessLauncher.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

using namespace std::chrono_literals;
constexpr auto kBound = 5s; // generous upper bound for anything expected to happen soon

bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

bool ends(ChildProcess& child) {
    return eventually([&] { return !child.isRunning(); });
}

// How a child of this process stands, asked of the kernel without reaping it (WNOWAIT), so
// the answer never races with the handle's own reaping the way a read of /proc would.
enum class ChildState { Running, EndedNotReaped, Reaped };

ChildState childState(pid_t pid) {
    siginfo_t info = {};
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        if (errno != EINTR) return ChildState::Reaped; // ECHILD: no longer a child of ours
    return info.si_pid == pid ? ChildState::EndedNotReaped : ChildState::Running;
}

bool isGoneForGood(pid_t pid) {
    return eventually([&] { return childState(pid) == ChildState::Reaped; });
}

std::unique_ptr<ChildProcess> launched(const std::string& path,
                                       const std::vector<std::string>& arguments,
                                       const std::string& stdinText = {}, bool closeStdin = false) {
    auto child = PosixProcessLauncher().create();
    child->launch(path, arguments, stdinText, closeStdin);
    return child;
}

std::unique_ptr<ChildProcess> shell(const std::string& script, const std::string& stdinText = {},
                                    bool closeStdin = false) {
    return launched("/bin/sh", {"-c", script}, stdinText, closeStdin);
}

// ---- Exit status ----------------------------------------------------------------------------

TEST(PosixProcessExit, ExitCodeIsTheStatus) {
    auto three = shell("exit 3");
    auto zero = launched("/bin/true", {});
    EXPECT_GT(three->processIdentifier(), 0);
    ASSERT_TRUE(ends(*three));
    ASSERT_TRUE(ends(*zero));
    EXPECT_EQ(three->exitStatus(), 3);
    EXPECT_EQ(zero->exitStatus(), 0);
    EXPECT_FALSE(three->isRunning()); // asking again after the reap changes nothing
    EXPECT_EQ(three->exitStatus(), 3);
}

TEST(PosixProcessExit, AHandleNotLaunchedIsInert) {
    PosixProcess child;
    EXPECT_FALSE(child.isRunning());
    EXPECT_EQ(child.exitStatus(), 0);
    EXPECT_EQ(child.processIdentifier(), 0);
    // With pid 0 a careless kill() would hit this test's own process group.
    child.interrupt();
    child.terminate();
    SUCCEED();
}

TEST(PosixProcessExit, ArgumentVectorIsPassedVerbatimWithThePathFirst) {
    auto sleeper = launched("/bin/sleep", {"5"});
    // The kernel fills in the new command line a moment after the exec has begun.
    std::string cmdline;
    eventually([&] {
        std::ifstream in("/proc/" + std::to_string(sleeper->processIdentifier()) + "/cmdline");
        cmdline.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return !cmdline.empty();
    });
    EXPECT_EQ(cmdline, std::string("/bin/sleep\0"
                                   "5\0",
                                   13));
    sleeper->terminate();
    ASSERT_TRUE(ends(*sleeper));

    // Empty arguments and blanks inside an argument survive; no shell splits them.
    auto check =
        launched("/bin/sh", {"-c", R"(test "$#" = 2 && test "$1" = "" && test "$2" = "a b")",
                             "zero", "", "a b"});
    ASSERT_TRUE(ends(*check));
    EXPECT_EQ(check->exitStatus(), 0);
}

TEST(PosixProcessExit, ASecondLaunchOfTheSameHandleIsIgnored) {
    auto child = shell("exit 4");
    pid_t first = child->processIdentifier();
    child->launch("/bin/sh", {"-c", "exit 5"});
    EXPECT_EQ(child->processIdentifier(), first);
    ASSERT_TRUE(ends(*child));
    EXPECT_EQ(child->exitStatus(), 4);
}

// ---- Signals --------------------------------------------------------------------------------

TEST(PosixProcessSignals, TerminateAndInterruptGiveTheSignalNumber) {
    auto terminated = launched("/bin/sleep", {"5"});
    auto interrupted = launched("/bin/sleep", {"5"});
    ASSERT_TRUE(terminated->isRunning());
    ASSERT_TRUE(interrupted->isRunning());
    terminated->terminate();
    interrupted->interrupt();
    ASSERT_TRUE(ends(*terminated));
    ASSERT_TRUE(ends(*interrupted));
    EXPECT_EQ(terminated->exitStatus(), SIGTERM);
    EXPECT_EQ(interrupted->exitStatus(), SIGINT);
}

TEST(PosixProcessSignals, ChildDoesNotInheritIgnoredOrBlockedSignals) {
    // A parent started in the background ignores SIGINT; a blocked mask would be inherited too.
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, &previous);
    sigset_t term, oldMask;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, &oldMask);

    auto interrupted = launched("/bin/sleep", {"5"});
    auto terminated = launched("/bin/sleep", {"5"});

    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    sigaction(SIGINT, &previous, nullptr);

    interrupted->interrupt();
    terminated->terminate();
    bool bothEnded = ends(*interrupted) && ends(*terminated);
    if (!bothEnded) {
        kill(interrupted->processIdentifier(), SIGKILL);
        kill(terminated->processIdentifier(), SIGKILL);
    }
    ASSERT_TRUE(bothEnded);
    EXPECT_EQ(interrupted->exitStatus(), SIGINT);
    EXPECT_EQ(terminated->exitStatus(), SIGTERM);
}

TEST(PosixProcessSignals, SignalsAfterTheReapAreNoOps) {
    auto child = shell("exit 6");
    ASSERT_TRUE(ends(*child));
    child->interrupt();
    child->terminate();
    EXPECT_FALSE(child->isRunning());
    EXPECT_EQ(child->exitStatus(), 6);
}

// ---- Children that cannot start -------------------------------------------------------------

TEST(PosixProcessStartFailure, BehavesAsAChildThatEndedAtOnceWith127) {
    const char* home = std::getenv("QB_TEST_HOME");
    ASSERT_NE(home, nullptr);
    const std::string notExecutable = std::string(home) + "/not-executable";
    { std::ofstream(notExecutable) << "#!/bin/sh\nexit 0\n"; }
    chmod(notExecutable.c_str(), 0644);

    for (const std::string path : {"/nonexistent/program", "", "/tmp", notExecutable.c_str()}) {
        SCOPED_TRACE("path: '" + path + "'");
        auto child = launched(path, {"-x"});
        EXPECT_FALSE(child->isRunning()); // known at once, without polling for it
        EXPECT_EQ(child->exitStatus(), 127);
        child->interrupt();
        child->terminate();
        pid_t pid = child->processIdentifier();
        if (pid > 0) { // the failed child has been reaped already: no zombie
            errno = 0;
            EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
            EXPECT_EQ(errno, ECHILD);
        }
    }
}

// ---- Standard input -------------------------------------------------------------------------

TEST(PosixProcessStdin, TextReachesTheChild) {
    auto open = shell(R"(read x; test "$x" = hello)", "hello\n");
    auto closed = shell(R"(x=$(cat); test "$x" = "hello
there")",
                        "hello\nthere\n", true);
    ASSERT_TRUE(ends(*open));
    ASSERT_TRUE(ends(*closed));
    EXPECT_EQ(open->exitStatus(), 0);
    EXPECT_EQ(closed->exitStatus(), 0);
}

TEST(PosixProcessStdin, TextLargerThanAPipeBufferArrivesWhole) {
    auto child = shell(R"sh(test "$(wc -c)" -eq 200000)sh", std::string(200000, 'x'), true);
    ASSERT_TRUE(ends(*child));
    EXPECT_EQ(child->exitStatus(), 0);
}

TEST(PosixProcessStdin, StaysOpenForTheLifeOfTheHandleUnlessClosed) {
    auto kept = shell("cat >/dev/null");
    auto closed = shell("cat >/dev/null", {}, true);
    ASSERT_TRUE(ends(*closed));
    EXPECT_EQ(closed->exitStatus(), 0);

    // The write end must not leak into children started later, or it would hold cat open.
    auto later = launched("/bin/sleep", {"5"});
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(kept->isRunning());
    pid_t pid = kept->processIdentifier();
    kept.reset();
    EXPECT_TRUE(isGoneForGood(pid));
    later->terminate();
    EXPECT_TRUE(ends(*later));
}

// A descriptor opened without close-on-exec (as a library might) reaches no child, whether
// the child's output is captured or inherited; the standard three do.
TEST(PosixProcessDescriptors, OnlyTheStandardOnesAreInherited) {
    const int low = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(low, 0);
    const int high = ::fcntl(low, F_DUPFD, 900);
    ASSERT_GE(high, 0);
    const std::string script = "test -e /proc/self/fd/0 -a -e /proc/self/fd/1 -a -e "
                               "/proc/self/fd/2 || exit 10; test -e /proc/self/fd/" +
                               std::to_string(low) + " && exit 11; test -e /proc/self/fd/" +
                               std::to_string(high) + " && exit 12; exit 0";
    for (bool capture : {false, true}) {
        PosixProcess child;
        if (capture) child.captureOutput();
        child.launch("/bin/sh", {"-c", script});
        ASSERT_TRUE(ends(child));
        EXPECT_EQ(child.exitStatus(), 0) << (capture ? "captured" : "inherited") << " output";
    }
    ::close(low);
    ::close(high);
}

// ---- Environment ----------------------------------------------------------------------------

TEST(PosixProcessEnvironment, SetVariablesReplaceOrJoinTheInheritedOnes) {
    ::setenv("QB_PROCESS_TEST_KEPT", "kept", 1);
    ::setenv("QB_PROCESS_TEST_REPLACED", "inherited", 1);
    ::setenv("QB_PROCESS_TEST_REPLACED_X", "prefix-alike", 1);
    PosixProcess child;
    child.setEnvironment("QB_PROCESS_TEST_REPLACED", "first");
    child.setEnvironment("QB_PROCESS_TEST_REPLACED", "set=with equals");
    child.setEnvironment("QB_PROCESS_TEST_NEW", "");
    child.launch("/bin/sh", {"-c", R"sh(test "$QB_PROCESS_TEST_KEPT" = kept &&
                    test "$QB_PROCESS_TEST_REPLACED" = "set=with equals" &&
                    test "$QB_PROCESS_TEST_REPLACED_X" = prefix-alike &&
                    test "${QB_PROCESS_TEST_NEW+set}" = set &&
                    test "$(env | grep -c '^QB_PROCESS_TEST_REPLACED=')" = 1)sh"});
    ASSERT_TRUE(ends(child));
    EXPECT_EQ(child.exitStatus(), 0);
    // Our own environment is left as it was.
    EXPECT_STREQ(std::getenv("QB_PROCESS_TEST_REPLACED"), "inherited");
    EXPECT_EQ(std::getenv("QB_PROCESS_TEST_NEW"), nullptr);
}

TEST(PosixProcessEnvironment, WithoutSetVariablesTheChildInheritsEverything) {
    ::setenv("QB_PROCESS_TEST_PLAIN", "plain value", 1);
    auto child = shell(R"(test "$QB_PROCESS_TEST_PLAIN" = "plain value")");
    ASSERT_TRUE(ends(*child));
    EXPECT_EQ(child->exitStatus(), 0);
}

// ---- Bounded wait ---------------------------------------------------------------------------

TEST(PosixProcessWait, ReturnsOnceTheChildHasEndedAndReapsIt) {
    auto child = shell("read x; exit 4", "go\n");
    EXPECT_TRUE(child->waitForEnd(kBound.count()));
    EXPECT_EQ(child->exitStatus(), 4);
    EXPECT_EQ(childState(child->processIdentifier()), ChildState::Reaped) << "not reaped";
    EXPECT_TRUE(child->waitForEnd(0)); // and again, at once
}

TEST(PosixProcessWait, GivesUpAtItsBoundWhileTheChildRuns) {
    auto child = launched("/bin/sleep", {"30"});
    EXPECT_FALSE(child->waitForEnd(0.2));
    EXPECT_TRUE(child->isRunning());
    child->terminate();
    EXPECT_TRUE(child->waitForEnd(kBound.count()));
    EXPECT_EQ(child->exitStatus(), SIGTERM);
}

TEST(PosixProcessWait, AChildThatCouldNotStartOrNeverLaunchedHasEnded) {
    PosixProcess never;
    EXPECT_TRUE(never.waitForEnd(0.1));
    auto missing = launched("/nonexistent/program", {});
    EXPECT_TRUE(missing->waitForEnd(0.1));
    EXPECT_EQ(missing->exitStatus(), 127);
}

// ---- Reaping --------------------------------------------------------------------------------

TEST(PosixProcessReaping, ADroppedHandleLeavesNoZombie) {
    // Running when dropped, ending later.
    auto running = launched("/bin/sleep", {"0.05"});
    pid_t runningPid = running->processIdentifier();
    running.reset();
    EXPECT_TRUE(isGoneForGood(runningPid));

    // Ended but never polled: a zombie until the handle goes.
    auto ended = launched("/bin/true", {});
    pid_t endedPid = ended->processIdentifier();
    ASSERT_TRUE(eventually([&] { return childState(endedPid) == ChildState::EndedNotReaped; }));
    ended.reset();
    EXPECT_EQ(childState(endedPid), ChildState::Reaped);

    // Replaced while running, as a tunnel replaces its task at a restart.
    auto task = launched("/bin/sleep", {"0.05"});
    pid_t replacedPid = task->processIdentifier();
    task = launched("/bin/true", {});
    EXPECT_TRUE(isGoneForGood(replacedPid));
    EXPECT_TRUE(ends(*task));
}

#ifdef __linux__
TEST(PosixProcessReaping, ChildDiesWithTheProcessThatStartedIt) {
    // Orphans come to this test process, so it can see how the grandchild ended.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int report[2];
    ASSERT_EQ(pipe(report), 0);

    pid_t middle = fork();
    ASSERT_GE(middle, 0);
    if (middle == 0) {
        close(report[0]);
        PosixProcess sleeper;
        sleeper.launch("/bin/sleep", {"30"});
        // One that is told to finish its work even after the application has gone: it
        // ends by itself once its standard input is closed, i.e. once its parent is gone.
        PosixProcess finisher;
        finisher.setDiesWithApplication(false);
        finisher.launch("/bin/sh", {"-c", "cat >/dev/null; exit 7"});
        pid_t pids[2] = {sleeper.processIdentifier(), finisher.processIdentifier()};
        if (write(report[1], pids, sizeof pids) != sizeof pids) _exit(1);
        for (;;)
            pause();
    }
    close(report[1]);
    pid_t pids[2] = {0, 0};
    ssize_t n = read(report[0], pids, sizeof pids);
    close(report[0]);
    kill(middle, SIGKILL);
    waitpid(middle, nullptr, 0);
    ASSERT_EQ(n, static_cast<ssize_t>(sizeof pids));
    ASSERT_GT(pids[0], 0);
    ASSERT_GT(pids[1], 0);

    int status[2] = {0, 0};
    bool reaped[2] = {false, false};
    for (int i = 0; i < 2; ++i) {
        reaped[i] = eventually([&] { return waitpid(pids[i], &status[i], WNOHANG) == pids[i]; });
        if (!reaped[i]) {
            kill(pids[i], SIGKILL);
            waitpid(pids[i], nullptr, 0);
        }
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    ASSERT_TRUE(reaped[0]);
    EXPECT_TRUE(WIFSIGNALED(status[0]));
    EXPECT_EQ(WTERMSIG(status[0]), SIGTERM);
    ASSERT_TRUE(reaped[1]);
    EXPECT_TRUE(WIFEXITED(status[1])) << "the finisher was killed with its parent";
    EXPECT_EQ(WEXITSTATUS(status[1]), 7);
}
#endif

} // namespace
