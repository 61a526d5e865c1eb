// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controller/toolkit.h"

#include <optional>
#include <string>

class QuillboreDel;

// Logic of the preferences window and its key-file editor.
class MyPrefs {
public:
    // --- Outlets, set by the window layout ----------------------------------------------
    Button* reconOption = nullptr;
    Button* keyOption = nullptr;
    Button* comOption = nullptr;
    Button* askPass = nullptr;
    Button* usePrompt = nullptr;
    TextField* commandInfo = nullptr;
    TextField* commandArgs = nullptr;
    TextView* keyFiles = nullptr;
    Window* wind = nullptr;
    Window* keyWin = nullptr;
    QuillboreDel* delResponder = nullptr;
    // The key-file list in its stored form (entries joined by CR LF); absent at first.
    std::optional<std::string> userKeys;

    void windowDidBecomeKey();
    void clickedOption(Control* sender);
    void userSave(Control* sender);
    void setKeysFiles(Control* sender);
    // Closing without saving: the edits are dropped, and the controls show the file again
    // (with no file, what they showed when the window first opened).
    void userCancel(Control* sender);

private:
    struct Controls {
        int states[5] = {};   // keyOption, comOption, askPass, usePrompt, reconOption
        bool enabled[3] = {}; // usePrompt, commandInfo, commandArgs
        std::string command, arguments, keys;
    };
    Controls captureControls() const;
    void restoreControls(const Controls& controls);

    std::optional<Controls> initialControls_; // as the layout gave them
};
