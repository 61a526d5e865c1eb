// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Programs the e2e fixture runs itself (sshd, ssh-keygen, useradd, ...), outside the product.
namespace subprocess {

struct Result {
    int exitCode = -1;  // -1 when it could not be started or was killed for taking too long
    std::string output; // standard output and standard error together
};

// Which environment a child gets: ours, or ours without the preloaded wrappers and the
// nss_wrapper variables (for programs that must see the real account database).
enum class Env { Inherit, RealAccounts };

// Our environment as `env` chooses it, one "NAME=value" per entry.
std::vector<std::string> environment(Env env);

// Runs `argv` (argv[0] an absolute path) to its end, at most `timeoutSeconds`, with
// `input` on its standard input.
Result run(const std::vector<std::string>& argv, Env env = Env::Inherit,
           const std::string& input = {}, double timeoutSeconds = 20);

// Starts a long-lived child with standard input from /dev/null and output to `logPath`
// (or inherited when empty); it gets SIGTERM when this process dies (Linux). Returns its pid,
// or nothing when it could not be started.
std::optional<pid_t> spawn(const std::vector<std::string>& argv, Env env,
                           const std::string& logPath = {});
// The same with exactly the given environment.
std::optional<pid_t> spawn(const std::vector<std::string>& argv,
                           const std::vector<std::string>& environment,
                           const std::string& logPath = {});

// SIGTERM, then SIGKILL after `graceSeconds`; reaps it. For children that spawn() started.
void stop(pid_t pid, double graceSeconds = 2);

} // namespace subprocess
