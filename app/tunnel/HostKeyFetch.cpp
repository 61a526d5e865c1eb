// SPDX-License-Identifier: GPL-3.0-or-later
#include "tunnel/HostKeyFetch.h"

#include "platform/Files.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>

namespace {

constexpr const char* kSsh = "/usr/bin/ssh";
constexpr const char* kSshKeygen = "/usr/bin/ssh-keygen";
constexpr std::size_t kReadBudget = 64 * 1024;
constexpr std::size_t kDetailLines = 6;

// ssh splits a known-hosts option at blanks: a folder with one is no place for the file.
std::string temporaryRoot() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string chosen = tmp && *tmp == '/' ? tmp : "";
    if (chosen.empty() || chosen.find_first_of(" \t\"'") != std::string::npos) return "/tmp";
    return chosen;
}

// The key exchange, and nothing after it: the server's key is all ssh may take from it. No
// way to log in is left (a login could ask for a password nobody types), no forward, no shared
// master connection (which would skip the key exchange).
std::vector<std::string> fetchArguments(const std::string& knownHosts,
                                        const std::string& destination) {
    static const char* const kFixed[] = {"GlobalKnownHostsFile=/dev/null",
                                         "StrictHostKeyChecking=accept-new",
                                         "UpdateHostKeys=no",
                                         "BatchMode=yes",
                                         "PubkeyAuthentication=no",
                                         "PasswordAuthentication=no",
                                         "KbdInteractiveAuthentication=no",
                                         "GSSAPIAuthentication=no",
                                         "HostbasedAuthentication=no",
                                         "NumberOfPasswordPrompts=0",
                                         "ControlMaster=no",
                                         "ControlPath=none",
                                         "ClearAllForwardings=yes",
                                         "PermitLocalCommand=no",
                                         "ForwardAgent=no",
                                         "ForwardX11=no",
                                         "LogLevel=ERROR"};
    std::vector<std::string> arguments{"-o", "UserKnownHostsFile=" + knownHosts};
    for (const char* option : kFixed)
        arguments.insert(arguments.end(), {"-o", option});
    arguments.insert(arguments.end(), {"-T", "-N", destination});
    return arguments;
}

} // namespace

HostKeyFetch::HostKeyFetch(RunLoop& runLoop, ProcessLauncher& launcher, std::string destination,
                           std::string home, Done done)
    : runLoop_(runLoop), launcher_(launcher), destination_(std::move(destination)),
      home_(std::move(home)), done_(std::move(done)) {}

HostKeyFetch::~HostKeyFetch() {
    endChild();
    if (poll_) poll_->invalidate();
    if (deadline_) deadline_->invalidate();
    removeFolder();
}

void HostKeyFetch::start() {
    deadline_ = runLoop_.scheduleOnce(kTimeLimitSeconds, [this] {
        fail("The server's host key could not be fetched: no answer within " +
                 std::to_string(static_cast<int>(kTimeLimitSeconds)) + " seconds.",
             lastWords());
    });
    run(Step::Resolve, kSsh, {"-G", destination_});
}

void HostKeyFetch::run(Step step, const std::string& path,
                       const std::vector<std::string>& arguments) {
    step_ = step;
    output_.clear();
    child_ = launcher_.create();
    if (!child_) {
        fail("Cannot start " + path + ".", {});
        return;
    }
    child_->captureOutput();
    child_->launch(path, arguments, {}, true);
    if (!poll_) poll_ = runLoop_.scheduleRepeating(kPollSeconds, [this] { poll(); });
}

void HostKeyFetch::poll() {
    if (!child_) return;
    const bool running = child_->isRunning();
    // Read also while it runs: a child that fills the pipe would never end.
    child_->readOutput(output_, kReadBudget);
    if (running) return;
    const int status = child_->exitStatus();
    child_.reset();
    stepEnded(status);
}

void HostKeyFetch::stepEnded(int exitStatus) {
    switch (step_) {
    case Step::Resolve: {
        if (exitStatus != 0) {
            fail("OpenSSH cannot resolve " + destination_ + " (ssh -G failed).", lastWords());
            return;
        }
        result_.destination = hostkeys::parseDestination(output_, home_);
        if (result_.destination.knownHostsFile.empty()) {
            fail("Your OpenSSH configuration keeps no known-hosts file for this server "
                 "(UserKnownHostsFile none).",
                 {});
            return;
        }
        std::string folder = temporaryRoot() + "/quillbore-hostkey.XXXXXX";
        if (!::mkdtemp(folder.data())) {
            fail("Cannot make a temporary folder in " + temporaryRoot() + ".", {});
            return;
        }
        folder_ = folder;
        temporaryFile_ = folder_ + "/known_hosts";
        run(Step::Fetch, kSsh, fetchArguments(temporaryFile_, destination_));
        return;
    }
    case Step::Fetch: {
        // ssh fails at the login, which is off; the key is written before it.
        result_.lines = files::readWhole(temporaryFile_).value_or("");
        if (result_.lines.empty()) {
            // Not the server's key, which this ssh accepts: a jump host's, checked by an ssh
            // of its own with the user's known hosts.
            const bool onTheWay =
                output_.find("Host key verification failed.") != std::string::npos;
            fail(onTheWay ? "The server's host key could not be fetched: ssh could not verify "
                            "the key of a host on the way (a ProxyJump host it does not know?)."
                          : "The server's host key could not be fetched.",
                 lastWords());
            return;
        }
        run(Step::Fingerprints, kSshKeygen, {"-l", "-E", "sha256", "-f", temporaryFile_});
        return;
    }
    case Step::Fingerprints:
        result_.keys = hostkeys::parseFingerprints(output_);
        if (exitStatus != 0 || result_.keys.empty()) {
            fail("The fetched host key cannot be read.", lastWords());
            return;
        }
        finish();
        return;
    }
}

void HostKeyFetch::fail(const std::string& error, const std::string& detail) {
    result_.error = error;
    result_.detail = detail;
    result_.lines.clear();
    result_.keys.clear();
    finish();
}

// The result goes out from a timer of its own, so that `done` may destroy this fetch.
void HostKeyFetch::finish() {
    if (finished_) return;
    finished_ = true;
    endChild();
    if (poll_) poll_->invalidate();
    if (deadline_) deadline_->invalidate();
    removeFolder();
    runLoop_.scheduleOnce(0, [this, alive = std::weak_ptr<char>(lifetime_), result = result_] {
        if (alive.expired()) return;
        const Done done = std::move(done_);
        if (done) done(result);
    });
}

// The handle's end reaps the child once it has gone.
void HostKeyFetch::endChild() {
    if (!child_) return;
    child_->interrupt();
    child_->terminate();
    child_.reset();
}

void HostKeyFetch::removeFolder() {
    if (folder_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    folder_.clear();
}

std::string HostKeyFetch::lastWords() const {
    std::vector<std::string> lines;
    std::istringstream in(output_);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    std::string words;
    for (std::size_t i = lines.size() > kDetailLines ? lines.size() - kDetailLines : 0;
         i < lines.size(); ++i)
        words += (words.empty() ? "" : "\n") + lines[i];
    return words;
}
