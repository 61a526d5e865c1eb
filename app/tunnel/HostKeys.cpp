// SPDX-License-Identifier: GPL-3.0-or-later
#include "tunnel/HostKeys.h"

#include "platform/Files.h"

#include <cerrno>
#include <sstream>
#include <sys/stat.h>

namespace hostkeys {
namespace {

constexpr const char* kVerificationFailed = "Host key verification failed.";

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The text between `before` and `after` in the line, or "".
std::string between(const std::string& line, const std::string& before, const std::string& after) {
    const std::size_t start = line.find(before);
    if (start == std::string::npos) return {};
    const std::size_t from = start + before.size();
    const std::size_t end = line.find(after, from);
    return end == std::string::npos ? std::string() : line.substr(from, end - from);
}

// "Offending ED25519 key in /home/u/.ssh/known_hosts:3"
bool readOffending(const std::string& line, Refusal& out) {
    if (!startsWith(line, "Offending ")) return false;
    const std::size_t keyIn = line.find(" key in ");
    if (keyIn == std::string::npos) return false; // "Offending key for IP in": not the host's
    const std::string place = line.substr(keyIn + 8);
    const std::size_t colon = place.rfind(':');
    if (colon == std::string::npos || colon + 1 == place.size()) return false;
    try {
        out.line = std::stol(place.substr(colon + 1));
    } catch (...) {
        return false;
    }
    out.keyType = line.substr(10, keyIn - 10);
    out.file = place.substr(0, colon);
    return true;
}

// A path as ssh writes it in its configuration: one word, or one in double quotes.
std::string firstPath(const std::string& value) {
    if (!value.empty() && value.front() == '"') {
        const std::size_t end = value.find('"', 1);
        return value.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    }
    return value.substr(0, value.find(' '));
}

} // namespace

Refusal diagnose(const std::vector<std::string>& sshOutput) {
    Refusal result;
    bool failed = false, unknown = false, warned = false;
    for (const std::string& line : sshOutput) {
        if (line == kVerificationFailed) failed = true;
        // "No ED25519 host key is known for x and you have requested strict checking."
        if (startsWith(line, "No ") && line.find(" host key is known for ") != std::string::npos)
            unknown = true;
        // ssh frames every warning about a key (changed, revoked, spoofed) in '@' lines.
        if (startsWith(line, "@")) warned = true;
        if (line.find("REMOTE HOST IDENTIFICATION HAS CHANGED") != std::string::npos)
            result.kind = Refusal::Kind::Changed;
        if (result.file.empty()) readOffending(line, result);
        // ssh-keygen -f "file" -R "host"
        if (const std::string host = between(line, " -R \"", "\""); !host.empty())
            result.host = host;
        if (result.host.empty()) result.host = between(line, "Host key for ", " has changed");
    }
    if (result.kind == Refusal::Kind::Changed) return result;
    Refusal verdict;
    if ((failed || unknown) && !warned && result.file.empty())
        verdict.kind = Refusal::Kind::Unknown;
    return verdict;
}

std::string changedKeyText(const Refusal& changed, const std::string& home) {
    std::string text = "The server's identity has changed: the host key it sent is not the one "
                       "recorded for it. This may be an attack (someone between you and the "
                       "server), or the server was set up anew.";
    if (!changed.file.empty())
        text += "\nThe old " + (changed.keyType.empty() ? "" : changed.keyType + " ") +
                "key is line " + std::to_string(changed.line) + " of " + changed.file + ".";
    if (!changed.host.empty()) {
        const bool defaultFile = changed.file.empty() || changed.file == home + "/.ssh/known_hosts";
        text += "\nOnly when you know why it changed, remove it with\n    ssh-keygen " +
                (defaultFile ? std::string() : "-f \"" + changed.file + "\" ") + "-R \"" +
                changed.host +
                "\"\nand start the service again: it then offers to trust the new key.";
    }
    return text;
}

Destination parseDestination(const std::string& output, const std::string& home) {
    Destination d;
    std::istringstream lines(output);
    std::string keyword, value;
    while (lines >> keyword && std::getline(lines >> std::ws, value)) {
        if (keyword == "hostname") d.hostname = value;
        if (keyword == "port") d.port = value;
        if (keyword == "proxyjump" && value != "none") d.proxyJump = value;
        if (keyword == "hostkeyalias" && value != "none") d.hostKeyAlias = value;
        if (keyword == "userknownhostsfile") d.knownHostsFile = firstPath(value);
    }
    if (d.knownHostsFile == "none") d.knownHostsFile.clear();
    if (startsWith(d.knownHostsFile, "~/")) d.knownHostsFile = home + d.knownHostsFile.substr(1);
    return d;
}

std::vector<Key> parseFingerprints(const std::string& output) {
    // "256 SHA256:r761...aoY [127.0.0.1]:2222 (ED25519)"
    std::vector<Key> keys;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string bits, fingerprint, word, type;
        if (!(words >> bits >> fingerprint) || !startsWith(fingerprint, "SHA256:")) continue;
        while (words >> word)
            type = word;
        if (type.size() > 2 && type.front() == '(' && type.back() == ')')
            keys.push_back({type.substr(1, type.size() - 2), fingerprint});
    }
    return keys;
}

bool appendLines(const std::string& path, const std::string& lines) {
    std::string content;
    mode_t mode = S_IRUSR | S_IWUSR;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        const auto old = files::readWhole(path);
        if (!old) return false;
        content = *old;
        mode = st.st_mode & 0755;
    } else if (errno == ENOENT) {
        const std::size_t slash = path.rfind('/');
        if (slash != std::string::npos && slash > 0) {
            const std::string folder = path.substr(0, slash);
            if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
        }
    } else {
        return false;
    }
    if (!content.empty() && content.back() != '\n') content += '\n';
    content += lines;
    if (!content.empty() && content.back() != '\n') content += '\n';
    if (!files::writeAtomically(path, content)) return false;
    // Written 0600; a known-hosts file that others could read stays readable to them.
    if (mode != (S_IRUSR | S_IWUSR)) ::chmod(path.c_str(), mode);
    return true;
}

} // namespace hostkeys
