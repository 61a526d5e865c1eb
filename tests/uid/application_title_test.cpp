// SPDX-License-Identifier: GPL-3.0-or-later
// Runs under with-two-accounts: fake root first, then ann (uid 4321).
#include "ControllerFixture.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

std::string titleAfterLaunch() {
    ControllerFixture f;
    f.ui.mainWindow.setTitle("Tunnels");
    f.controller.applicationDidFinishLaunching();
    return f.ui.mainWindow.title();
}

TEST(ApplicationTitle, SuperuserGetsAHashAndAnyoneElseADollar) {
    const char* rootHome = std::getenv("QB_ROOT_HOME");
    const char* annHome = std::getenv("QB_ANN_HOME");
    ASSERT_TRUE(rootHome && annHome) << "run under tests/uid/with-two-accounts";
    ASSERT_EQ(::getuid(), 0u);

    EXPECT_EQ(titleAfterLaunch(), "[" + std::string(rootHome) + "] root# ./Tunnels");

    ASSERT_EQ(::setresuid(4321, 4321, 4321), 0);
    EXPECT_EQ(titleAfterLaunch(), "[" + std::string(annHome) + "] ann$ ./Tunnels");
}

} // namespace
