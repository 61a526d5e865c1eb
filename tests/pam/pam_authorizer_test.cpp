// SPDX-License-Identifier: GPL-3.0-or-later
// Runs under pam_wrapper with the pam_matrix stack of tests/pam/passdb (see CMakeLists.txt).
#include "platform/PamAuthorizer.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

using Outcome = Authorizer::Outcome;

// Answers every prompt with a scripted reply and records what it was shown.
struct ScriptedPrompt {
    explicit ScriptedPrompt(std::optional<std::string> r) : reply(std::move(r)) {}
    std::optional<std::string> reply;
    std::vector<std::string> rightNames, prompts;

    Authorizer::PasswordPrompt callback() {
        return [this](const std::string& rightName, const std::string& prompt) {
            rightNames.push_back(rightName);
            prompts.push_back(prompt);
            return reply;
        };
    }
};

TEST(PamAuthorizer, TheRightPasswordIsGrantedAndHeldUntilReleased) {
    PamAuthorizer pam;
    ScriptedPrompt user{"Correct-Horse-7"};

    EXPECT_EQ(pam.authorize("Use App Again", "alice", user.callback()), Outcome::Granted);
    EXPECT_TRUE(pam.holdsGrant());
    ASSERT_EQ(user.prompts.size(), 1u);
    EXPECT_FALSE(user.prompts[0].empty());
    EXPECT_EQ(user.rightNames[0], "Use App Again");

    pam.release();
    EXPECT_FALSE(pam.holdsGrant());
    pam.release();
    EXPECT_FALSE(pam.holdsGrant());
}

TEST(PamAuthorizer, AWrongOrEmptyPasswordIsRefused) {
    for (const char* password : {"correct-horse-7", ""}) {
        PamAuthorizer pam;
        ScriptedPrompt user{std::string(password)};
        EXPECT_EQ(pam.authorize("Use App Again", "alice", user.callback()), Outcome::Refused)
            << '"' << password << '"';
        EXPECT_FALSE(pam.holdsGrant());
    }
}

TEST(PamAuthorizer, ACancelledPromptIsCancelledNotRefused) {
    PamAuthorizer pam;
    ScriptedPrompt user{std::nullopt};
    EXPECT_EQ(pam.authorize("Use App Again", "alice", user.callback()), Outcome::Cancelled);
    EXPECT_FALSE(pam.holdsGrant());
    EXPECT_EQ(user.prompts.size(), 1u);

    EXPECT_EQ(pam.authorize("Use App Again", "alice", Authorizer::PasswordPrompt{}),
              Outcome::Cancelled);
}

TEST(PamAuthorizer, TheAccountMustBeAllowedAsWell) {
    // bob's password is right, but his account is not for this service.
    PamAuthorizer pam;
    ScriptedPrompt user{"Battery-Staple-9"};
    EXPECT_EQ(pam.authorize("Use App Again", "bob", user.callback()), Outcome::Refused);
    EXPECT_FALSE(pam.holdsGrant());
}

TEST(PamAuthorizer, AnUnknownUserIsRefused) {
    PamAuthorizer pam;
    ScriptedPrompt user{"Correct-Horse-7"};
    EXPECT_EQ(pam.authorize("Use App Again", "mallory", user.callback()), Outcome::Refused);
    EXPECT_FALSE(pam.holdsGrant());
}

TEST(PamAuthorizer, ANewRequestReplacesTheGrantHeld) {
    PamAuthorizer pam;
    ScriptedPrompt right{"Correct-Horse-7"}, wrong{"nope"};
    ASSERT_EQ(pam.authorize("Use App Again", "alice", right.callback()), Outcome::Granted);

    EXPECT_EQ(pam.authorize("Use App Again", "alice", wrong.callback()), Outcome::Refused);
    EXPECT_FALSE(pam.holdsGrant());
    EXPECT_EQ(pam.authorize("Use App Again", "alice", right.callback()), Outcome::Granted);
    EXPECT_TRUE(pam.holdsGrant());
} // the destructor ends the transaction still held

TEST(PamAuthorizer, AServiceWithoutAStackGrantsNothing) {
    // pam_wrapper finds no file for this name: PAM refuses, whatever the password.
    PamAuthorizer pam("quillbore-ssh-missing");
    ScriptedPrompt user{"Correct-Horse-7"};
    EXPECT_NE(pam.authorize("Use App Again", "alice", user.callback()), Outcome::Granted);
    EXPECT_FALSE(pam.holdsGrant());
}

} // namespace
