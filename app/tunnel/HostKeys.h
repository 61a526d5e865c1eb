// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// What ssh says about a server's host key, and the user's known-hosts file. ssh runs without a
// terminal, so it cannot ask whether to trust a server it has never seen: it fails instead.
namespace hostkeys {

// Why ssh refused the server, from what it wrote.
struct Refusal {
    enum class Kind {
        None,    // not for its host key (or for a reason no one should wave through: revoked)
        Unknown, // no key is recorded for the server: it may be trusted
        Changed, // another key is recorded: never to be trusted from here
    };
    Kind kind = Kind::None;
    // For a changed key, as far as ssh named them: the type of the key recorded, where it is,
    // and the host that entry is for (what ssh-keygen -R takes).
    std::string keyType;
    std::string file;
    long line = 0;
    std::string host;
};
Refusal diagnose(const std::vector<std::string>& sshOutput);

// The explanation for a changed key, with the command that removes the old one; `home` is the
// user's home, whose default known-hosts file needs no -f.
std::string changedKeyText(const Refusal& changed, const std::string& home);

// A destination as `ssh -G user@server` resolves it.
struct Destination {
    std::string hostname;
    std::string port;
    std::string proxyJump;      // "" when not set
    std::string hostKeyAlias;   // "" when not set
    std::string knownHostsFile; // the first UserKnownHostsFile, "" for none
};
// `home` expands a leading "~/" (an older ssh prints the path unexpanded).
Destination parseDestination(const std::string& sshConfigOutput, const std::string& home);

// One key of `ssh-keygen -l -E sha256`.
struct Key {
    std::string type;        // "ED25519"
    std::string fingerprint; // "SHA256:..."
};
std::vector<Key> parseFingerprints(const std::string& keygenOutput);

// Adds `lines` at the end of the known-hosts file in one step (a copy with the old content and
// the lines, fsync, rename), so a crash leaves the old file or the new one, never a cut one. A
// missing file is created 0600, in a missing folder made 0700; an existing one keeps its mode,
// never writable by others. A file without a final line end gets one first.
bool appendLines(const std::string& path, const std::string& lines);

} // namespace hostkeys
