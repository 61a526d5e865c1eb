// quillbore-askpass: hands ssh the password that the application left, scrambled with the
// login name, in ~/.ssh-askpass. The home directory and the login name come from the account
// record of the real user id; the environment is never consulted. ssh passes a prompt as the
// argument, which is ignored.
#include "platform/Accounts.h"
#include "platform/Files.h"
#include "store/Cipher.h"

#include <cstdio>

namespace {

constexpr const char* kProgram = "quillbore-askpass";
constexpr const char* kFileName = ".ssh-askpass";

} // namespace

int main() {
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
