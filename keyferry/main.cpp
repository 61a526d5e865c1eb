// SPDX-License-Identifier: GPL-3.0-or-later
// keyferry: appends the local public key to a remote account's authorized keys through ssh,
// then opens a test login to the same account.
//
// Every value reaches the shell single-quoted, so no value can break out of its place: the
// local key file and the target are quoted for the local shell; the remote file is quoted
// for the remote shell (a leading "~/" stays bare so the remote shell still expands it to
// the remote home, and a leading "~name/" to that user's home), and the whole remote command is
// quoted once more for the local shell.
// "--" ends ssh's and cat's options, so a value that starts with "-" is never an option.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <pwd.h>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

const char* getUserDir() {
    const passwd* pw = ::getpwuid(::getuid());
    return (pw && pw->pw_dir) ? pw->pw_dir : nullptr;
}

void usage(const char* name) {
    std::printf("keyferry version 0.1\n");
    std::printf("usage: %s user@host [options -k local_key_file/path.pub -f "
                "remote_key_file/path/authorized_keys\n",
                name);
    std::printf("    OPTIONAL ARGUMENTS\n");
    std::printf("        -k path/to/key.pub\n");
    std::printf("        -f path/to/remote/authorized_keys\n");
    std::printf("        -h prints this menu\n");
    std::printf("        -v gets version info\n");
}

bool isPlainAscii(std::string_view text) {
    for (unsigned char c : text)
        if (c > 0x7f) return false;
    return true;
}

// 'text', with every ' written as '\'' (close the quote, an escaped quote, reopen).
std::string shellQuote(std::string_view text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

// A user name as the remote shell expands it after "~": letters, digits, "_", "." and "-",
// not starting with "-" or "." (so not "~-" or "~+", which name folders, not users).
bool isUserName(std::string_view name) {
    if (name.empty() || name.front() == '-' || name.front() == '.') return false;
    for (unsigned char c : name)
        if (!std::isalnum(c) && c != '_' && c != '.' && c != '-') return false;
    return true;
}

// The remote file as the remote shell must see it: quoted, except a leading "~" or "~name"
// (up to the first "/"), which stays bare so that the remote shell expands it.
std::string remotePath(std::string_view path) {
    if (!path.starts_with("~")) return shellQuote(path);
    const std::size_t slash = path.find('/');
    const std::string_view prefix = path.substr(0, slash);
    if (prefix.size() > 1 && !isUserName(prefix.substr(1))) return shellQuote(path);
    if (slash == std::string_view::npos) return std::string(prefix);
    const std::string_view rest = path.substr(slash + 1);
    return std::string(prefix) + "/" + (rest.empty() ? "" : shellQuote(rest));
}

void sleepSeconds(long seconds) {
    timespec left{seconds, 0};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

void runShell(const std::string& command) {
    std::fflush(stdout);
    [[maybe_unused]] int status = std::system(command.c_str());
}

} // namespace

int main(int argc, char** argv) {
    const char* home = getUserDir();
    if (!home) {
        std::fprintf(stderr, "keyferry: getUserDir: no account record for user id %lu\n",
                     static_cast<unsigned long>(::getuid()));
        return 1;
    }
    const char* name = (argc > 0 && argv[0]) ? argv[0] : "keyferry";
    std::string localKeyFile = std::string(home) + "/.ssh/id_rsa.pub";
    std::string remoteFile = "~/.ssh/authorized_keys";

    if (argc < 2) {
        usage(name);
        return 1;
    }
    const std::string_view first = argv[1];
    if (first == "-h" || first == "help" || first == "-v") {
        usage(name);
        return 0;
    }
    const std::string target(first);
    if (argc > 6 || argc == 3 || argc == 5) {
        usage(name);
        return 1;
    }
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        if (option == "-k")
            localKeyFile = argv[i + 1];
        else if (option == "-f")
            remoteFile = argv[i + 1];
        else {
            usage(name);
            return 1;
        }
    }
    // A value that is not plain ASCII is refused rather than passed on changed.
    for (int i = 1; i < argc; ++i) {
        if (!isPlainAscii(argv[i])) {
            usage(name);
            return 1;
        }
    }

    if (argc == 2) std::printf("Using default file placement.\n");
    const std::string remoteCommand = "cat >> " + remotePath(remoteFile);
    const std::string copyCommand = "cat -- " + shellQuote(localKeyFile) + " | ssh -- " +
                                    shellQuote(target) + " " + shellQuote(remoteCommand);
    std::printf(" local file: %s\n", localKeyFile.c_str());
    std::printf("remote file: %s\n", remoteFile.c_str());
    std::printf("attempting to copy key\n");
    runShell(copyCommand);

    std::printf("testing key in 5 seconds\n");
    std::fflush(stdout);
    sleepSeconds(5);
    runShell("ssh -- " + shellQuote(target));
    return 0;
}
