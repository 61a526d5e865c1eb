// SPDX-License-Identifier: GPL-3.0-or-later
// A GoogleTest program for skip_reporting_test.sh: QB_PROBE chooses which of its cases skip
// or fail ("pass", "skip", "skip-and-fail").
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string probe() {
    const char* p = std::getenv("QB_PROBE");
    return p ? p : "pass";
}

TEST(Probe, Passes) {
    SUCCEED();
}

TEST(Probe, SkipsWhenAsked) {
    if (probe() != "pass") GTEST_SKIP() << "the probe was told to skip";
}

TEST(Probe, FailsWhenAsked) {
    EXPECT_NE(probe(), "skip-and-fail");
}

} // namespace
