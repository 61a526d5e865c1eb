// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerFixture.h"

#include <gtest/gtest.h>

TEST(Smoke, FixtureHasAHomeAwayFromTheEnvironment) {
    ControllerFixture f;
    EXPECT_FALSE(ControllerFixture::home().empty());
    EXPECT_NE(ControllerFixture::home(), std::string(getenv("HOME") ? getenv("HOME") : ""));
}
