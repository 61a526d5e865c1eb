// SPDX-License-Identifier: GPL-3.0-or-later
// The output of real children: captured through the process class, read by the real run loop
// without blocking, and bounded however much a child writes.
#include "CapturingLog.h"
#include "RecordingTunnelDelegate.h"
#include "platform/PosixProcess.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/PosixRunLoop.h"
#include "tunnel/SSHTunnel.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Resident memory of this process, in KiB.
long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

std::string readAll(PosixProcess& p, PosixRunLoop& loop) {
    std::string out;
    bool ended = false;
    auto watch = loop.watchDescriptor(p.outputDescriptor(), RunLoop::Readiness::Read, [&] {
        ended = p.readOutput(out, 1 << 20) == ChildProcess::OutputState::Ended;
    });
    loop.runUntil([&] { return ended; }, 20);
    return out;
}

TEST(ChildOutputCapture, StandardOutputAndErrorArriveInOnePipeInOrder) {
    PosixRunLoop loop;
    PosixProcess p;
    p.captureOutput();
    p.launch("/bin/sh", {"-c", "echo out; echo err >&2; echo again"});
    ASSERT_GE(p.outputDescriptor(), 0);
    EXPECT_EQ(readAll(p, loop), "out\nerr\nagain\n");
    EXPECT_TRUE(loop.runUntil([&] { return !p.isRunning(); }, 10));
}

TEST(ChildOutputCapture, WithoutCaptureThereIsNoPipeAndAFailedStartHasNone) {
    PosixProcess plain;
    plain.launch("/bin/true", {});
    EXPECT_EQ(plain.outputDescriptor(), -1);
    std::string into;
    EXPECT_EQ(plain.readOutput(into, 10), ChildProcess::OutputState::Ended);

    PosixProcess missing;
    missing.captureOutput();
    missing.launch("/nonexistent/program", {});
    EXPECT_EQ(missing.outputDescriptor(), -1);
    EXPECT_EQ(missing.exitStatus(), 127);
}

TEST(ChildOutputCapture, AWatchStopsWhenInvalidatedOrDropped) {
    PosixRunLoop loop;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    int calls = 0;
    auto watch = loop.watchDescriptor(fds[0], RunLoop::Readiness::Read, [&] { ++calls; });
    loop.runUntil([&] { return calls > 0; }, 5);
    EXPECT_GT(calls, 0);
    watch->invalidate();
    EXPECT_FALSE(watch->isValid());
    calls = 0;
    loop.runFor(0.05);
    EXPECT_EQ(calls, 0);
    auto dropped = loop.watchDescriptor(fds[0], RunLoop::Readiness::Read, [&] { ++calls; });
    dropped.reset();
    loop.runFor(0.05);
    EXPECT_EQ(calls, 0);
    ::close(fds[0]);
    ::close(fds[1]);
}

class FloodingChild : public ::testing::Test {
protected:
    PosixRunLoop loop;
    PosixProcessLauncher launcher;
    CapturingLog log;
    RecordingTunnelDelegate delegate;
    std::shared_ptr<SSHTunnel> tunnel = std::make_shared<SSHTunnel>(loop, launcher, log);
    fs::path script;

    void SetUp() override {
        const char* root = std::getenv("QB_TEST_ROOT");
        script = fs::path(root ? root : "/tmp") / ("flood-" + std::to_string(::getpid()) + ".sh");
    }
    void TearDown() override {
        tunnel->stopService();
        fs::remove(script);
    }
    void writeScript(const std::string& body) {
        std::ofstream(script) << "#!/bin/sh\n" << body;
        ::chmod(script.c_str(), 0700);
        delegate.useOwnCommand = true;
        delegate.commandString = script.string();
        delegate.variables = "%u@%h";
    }
};

// 60 MB of lines with the password in each, then 40 MB without a line end, then the last words.
TEST_F(FloodingChild, HundredMegabytesCostBoundedMemoryAndNoPasswordIsKept) {
    const std::string password = "flood-Pw-4711";
    writeScript("yes 'a line of output that carries " + password +
                " and some more words' | head -c 60000000\n"
                "head -c 40000000 /dev/zero | tr '\\000' x\n"
                "echo\necho 'last words " +
                password + "'\n");
    tunnel->setUser("alice", password, "127.0.0.1", "1080", "SOCKS");
    tunnel->setDelegate(&delegate);
    const long before = residentKiB();

    tunnel->startService();
    ASSERT_TRUE(loop.runUntil(
        [&] {
            const auto& lines = tunnel->output().lines();
            return !lines.empty() && lines.back().text.rfind("last words", 0) == 0;
        },
        120));

    const TunnelOutput& out = tunnel->output();
    EXPECT_EQ(out.lines().back().text, "last words ********");
    EXPECT_GT(out.totalLines(), 600000u); // every line went through
    EXPECT_EQ(out.lines().size(), TunnelOutput::kMaxLines);
    const std::size_t bound =
        TunnelOutput::kMaxLines * (TunnelOutput::kMaxLineLength + 16) + 2 * 1024;
    EXPECT_LE(out.retainedBytes(), bound);
    const auto& cut = out.lines()[out.lines().size() - 2].text;
    EXPECT_EQ(cut.size(),
              TunnelOutput::kMaxLineLength + std::string(TunnelOutput::kCutMarker).size());
    for (const auto& line : out.lines())
        EXPECT_EQ(line.text.find(password), std::string::npos);
    // The system log got far fewer lines than were written, each with the service's name.
    // The count of the lines held back is told at the end of the output at the latest.
    auto heldBackTold = [&] {
        for (const auto& line : log.lines)
            if (line.find("more lines not logged") != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(loop.runUntil(heldBackTold, 10));
    EXPECT_LT(log.lines.size(), out.totalLines() / 10);
    for (const auto& line : log.lines) {
        EXPECT_EQ(line.find(password), std::string::npos);
        if (line.rfind("Starting task: ", 0) == 0) continue;
        EXPECT_EQ(line.rfind("127.0.0.1:1080: ", 0), 0u) << line;
    }
    // Far below the 100 MB that went through.
    EXPECT_LT(residentKiB() - before, 40 * 1024);
}

// The last words of a child that ended are read before its end is reported.
TEST_F(FloodingChild, TheLastWordsAreKeptBeforeTheEndIsReported) {
    writeScript("echo 'ssh: connect to host db port 22: Connection refused' >&2\nexit 255\n");
    tunnel->setUser("alice", "pw", "db", "1080", "SOCKS");
    tunnel->setDelegate(&delegate);
    tunnel->startService();
    ASSERT_TRUE(loop.runUntil([&] { return !delegate.statuses.empty(); }, 10));
    EXPECT_EQ(delegate.statuses.front(), "Failed...");
    ASSERT_FALSE(tunnel->output().lines().empty());
    EXPECT_EQ(tunnel->output().lines().back().text,
              "ssh: connect to host db port 22: Connection refused");
    EXPECT_TRUE(log.contains("db:1080: ssh: connect to host db port 22: Connection refused"));
}

} // namespace
