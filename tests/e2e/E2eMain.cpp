#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

int main(int argc, char** argv) {
    // Without a controlling terminal ssh and ssh-add can never prompt on a tty: passwords
    // and passphrases come only the way the application hands them over.
    ::setsid();
    ::signal(SIGPIPE, SIG_IGN);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
