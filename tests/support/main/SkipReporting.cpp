// SPDX-License-Identifier: GPL-3.0-or-later
#include "SkipReporting.h"

#include <gtest/gtest.h>
#include <iostream>

int runAllTestsReportingSkips() {
    const int result = RUN_ALL_TESTS();
    const auto& unit = *::testing::UnitTest::GetInstance();
    if (result != 0 || unit.skipped_test_count() == 0) return result;
    std::cout << "SKIPPED: " << unit.skipped_test_count() << " of " << unit.total_test_count()
              << " test cases did not run:\n";
    for (int s = 0; s < unit.total_test_suite_count(); ++s) {
        const auto& suite = *unit.GetTestSuite(s);
        for (int t = 0; t < suite.total_test_count(); ++t) {
            const auto& info = *suite.GetTestInfo(t);
            if (!info.result()->Skipped()) continue;
            std::string reason;
            for (int p = 0; p < info.result()->total_part_count(); ++p)
                if (info.result()->GetTestPartResult(p).skipped())
                    reason = info.result()->GetTestPartResult(p).message();
            std::cout << "  " << suite.name() << "." << info.name() << ": " << reason << "\n";
        }
    }
    return kSkippedExitCode;
}
