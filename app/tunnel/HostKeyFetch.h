// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ChildProcess.h"
#include "platform/RunLoop.h"
#include "tunnel/HostKeys.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Fetches a server's host keys the way the user's ssh reaches it, trusting nothing yet:
//   1. `ssh -G destination`: the host, port, jump host, key alias and known-hosts file;
//   2. the real ssh with the user's configuration (so ProxyJump, Port and HostKeyAlias apply),
//      but with every way of logging in off and a known-hosts file of its own in a temporary
//      folder, which it fills with the server's key in the very form it will look it up in
//      (host, [host]:port or alias, hashed as HashKnownHosts says);
//   3. `ssh-keygen -l -E sha256` of that file: the type and fingerprint of each key.
// The children run on their own; the run loop looks at them, so the window stays live. The
// whole fetch is bounded by kTimeLimitSeconds. The user's own files are only read.
class HostKeyFetch {
public:
    static constexpr double kTimeLimitSeconds = 15.0;
    static constexpr double kPollSeconds = 0.1;

    struct Result {
        std::string error;  // "" when the keys were fetched; else what went wrong
        std::string detail; // the last words of the program that failed
        hostkeys::Destination destination;
        std::string lines; // the known-hosts lines exactly as ssh wrote them
        std::vector<hostkeys::Key> keys;
    };
    using Done = std::function<void(const Result& result)>;

    // `destination` as the tunnel gives it to ssh (user@server); `home` the user's home.
    HostKeyFetch(RunLoop& runLoop, ProcessLauncher& launcher, std::string destination,
                 std::string home, Done done);
    // Ends a child still running and removes the temporary folder.
    ~HostKeyFetch();
    HostKeyFetch(const HostKeyFetch&) = delete;
    HostKeyFetch& operator=(const HostKeyFetch&) = delete;

    // `done` is called once, later, from the run loop; it may destroy this fetch.
    void start();

private:
    enum class Step { Resolve, Fetch, Fingerprints };
    void run(Step step, const std::string& path, const std::vector<std::string>& arguments);
    void poll();
    void stepEnded(int exitStatus);
    void fail(const std::string& error, const std::string& detail);
    void finish();
    void endChild();
    void removeFolder();
    std::string lastWords() const;

    RunLoop& runLoop_;
    ProcessLauncher& launcher_;
    std::string destination_;
    std::string home_;
    Done done_;

    Step step_ = Step::Resolve;
    std::unique_ptr<ChildProcess> child_;
    std::string output_;
    std::shared_ptr<Timer> poll_;
    std::shared_ptr<Timer> deadline_;
    std::string folder_;
    std::string temporaryFile_;
    Result result_;
    bool finished_ = false;
    // Expires with the fetch: a result still on its way then is not delivered.
    std::shared_ptr<char> lifetime_ = std::make_shared<char>();
};
