// SPDX-License-Identifier: GPL-3.0-or-later
// quillbore-askpass: hands ssh the password that the application left, scrambled with the
// login name, in ~/.ssh-askpass. The home directory and the login name come from the account
// record of the real user id. Only a prompt that asks for a password or passphrase is
// answered: ssh also asks its yes/no questions (an unknown host key) through askpass, and a
// password given there is taken as a wrong answer and the question asked again, endlessly.
#include "platform/Accounts.h"
#include "platform/Files.h"
#include "store/Cipher.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr const char* kProgram = "quillbore-askpass";
constexpr const char* kFileName = ".ssh-askpass";

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// ssh names the kind of question in SSH_ASKPASS_PROMPT only for confirmations ("confirm")
// and notices ("none"); a host-key question comes with it unset, so the prompt text decides.
bool asksForPassword(int argc, char** argv) {
    const char* kind = std::getenv("SSH_ASKPASS_PROMPT");
    if (kind && (std::string_view(kind) == "confirm" || std::string_view(kind) == "none"))
        return false;
    if (argc < 2 || !argv[1]) return false;
    const std::string prompt = lowerCase(argv[1]);
    if (prompt.find("yes/no") != std::string::npos) return false;
    return prompt.find("password") != std::string::npos ||
           prompt.find("passphrase") != std::string::npos;
}

} // namespace

int main(int argc, char** argv) {
    if (!asksForPassword(argc, argv)) {
        std::fprintf(stderr, "%s: answers only a password or passphrase prompt\n", kProgram);
        return 1;
    }
    const auto home = accounts::homeDirectory();
    const auto login = accounts::loginName();
    if (!home || !login) {
        std::fprintf(stderr, "%s: getpwuid(getuid()) found no account record for user id %lu\n",
                     kProgram, static_cast<unsigned long>(accounts::realUserId()));
        return 1;
    }

    const std::string path = *home + "/" + kFileName;
    const auto stored = files::readWhole(path);
    if (!stored) {
        std::fprintf(stderr, "%s: cannot read %s\n", kProgram, path.c_str());
        return 1;
    }

    const std::string password = cipher::decryptString(*stored, *login) + "\n";
    if (std::fwrite(password.data(), 1, password.size(), stdout) != password.size() ||
        std::fflush(stdout) != 0) {
        std::fprintf(stderr, "%s: cannot write the password to standard output\n", kProgram);
        return 1;
    }
    return 0;
}
