#pragma once
// Stand-in until the POSIX process class lands on main; removed then.
#include "platform/ChildProcess.h"

#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

class StandinChild : public ChildProcess {
public:
    ~StandinChild() override {
        if (pid_ > 0 && !ended_) {
            // Reaped by nobody: acceptable only in this stand-in.
        }
        if (stdin_ >= 0) ::close(stdin_);
    }
    void launch(const std::string& path, const std::vector<std::string>& arguments,
                const std::string& stdinText, bool closeStdin) override {
        int fds[2];
        if (::pipe(fds) != 0) { ended_ = true; status_ = 127; return; }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[0], 0);
            ::close(fds[0]);
            ::close(fds[1]);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(path.c_str()));
            for (auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(path.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(fds[0]);
        stdin_ = fds[1];
        if (!stdinText.empty()) (void)!::write(stdin_, stdinText.data(), stdinText.size());
        if (closeStdin) { ::close(stdin_); stdin_ = -1; }
    }
    bool isRunning() override {
        if (pid_ <= 0 || ended_) return false;
        int st = 0;
        if (::waitpid(pid_, &st, WNOHANG) == pid_) {
            ended_ = true;
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : WTERMSIG(st);
            return false;
        }
        return true;
    }
    int exitStatus() override { return status_; }
    pid_t processIdentifier() const override { return pid_; }
    void interrupt() override { if (isRunning()) ::kill(pid_, SIGINT); }
    void terminate() override { if (isRunning()) ::kill(pid_, SIGTERM); }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    bool ended_ = false;
    int status_ = 0;
};

class PosixProcessLauncher : public ProcessLauncher {
public:
    std::unique_ptr<ChildProcess> create() override { return std::make_unique<StandinChild>(); }
};
