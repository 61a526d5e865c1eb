// SPDX-License-Identifier: GPL-3.0-or-later
#include "SkipReporting.h"
#include "TestSshd.h"

#include <csignal>
#include <gtest/gtest.h>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    // Without a controlling terminal ssh and ssh-add can never prompt on a tty: passwords
    // and passphrases come only the way the application hands them over.
    ::setsid();
    ::signal(SIGPIPE, SIG_IGN);
    ::testing::InitGoogleTest(&argc, argv);
    if (!GTEST_FLAG_GET(list_tests)) {
        if (auto reason = TestSshd::unavailableReason()) {
            std::cout << "SKIPPED: the e2e tests cannot run here: " << *reason << "\n";
            return kSkippedExitCode;
        }
    }
    return runAllTestsReportingSkips();
}
