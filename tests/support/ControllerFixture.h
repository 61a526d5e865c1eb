// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CapturingLog.h"
#include "FakeAuthorizer.h"
#include "FakeProcess.h"
#include "ManualRunLoop.h"
#include "MemoryLayout.h"
#include "controller/MyPrefs.h"
#include "controller/QuillboreDel.h"

#include <string>
#include <vector>

// An OpenSSH configuration that sets the given settings for every destination, without ssh -G.
struct FixedSshConfig : SshConfigQuery {
    Settings settings;
    std::vector<std::string> asked;
    Settings settingsFor(const std::string& destination) override {
        asked.push_back(destination);
        return settings;
    }
};

// Everything a headless controller test needs: manual clock, scripted children, captured
// log, scripted authorizer and the in-memory layout, wired together.
struct ControllerFixture {
    ManualRunLoop runLoop;
    FakeLauncher launcher;
    CapturingLog log;
    FakeAuthorizer authorizer;
    MemoryLayout ui;
    QuillboreDel controller{runLoop, launcher, log, authorizer};
    MyPrefs prefs;
    FixedSshConfig sshConfig;

    ControllerFixture() {
        controller.sshConfig = &sshConfig;
        ui.wire(controller);
        ui.wire(prefs, controller);
    }

    // The temporary home of the test's account record (see with-test-home).
    static std::string home();
    static std::string readHomeFile(const std::string& name); // "" when missing
    static void writeHomeFile(const std::string& name, const std::string& content);
    static void removeHomeFile(const std::string& name);
};
