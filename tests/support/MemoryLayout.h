// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MemoryToolkit.h"

class QuillboreDel;
class MyPrefs;

// The whole window layout in memory, wired to a controller and its preferences logic the way
// the real layout is: outlets set, the table's data source is the controller.
struct MemoryLayout {
    MemoryWindow mainWindow{"QuillboreSSH"};
    MemoryWindow addWindow{"Add Service"};
    MemoryWindow editWindow{"Edit Service"};
    MemoryWindow aboutWindow{"Preferences"};
    MemoryWindow keyWindow{"Key Files"};
    MemoryWindow logWindow{"Log"};

    MemoryTextField serverAddress, userName, userPassword, serverPort, statusText, forwardInfo;
    MemoryTextField eServerAddress, eUserName, eUserPassword, eServerPort, eforwardInfo;
    MemoryTableView serviceList;
    MemoryButton isSocks{"SOCKS"}, eisSocks{"SOCKS"};
    MemoryButton addButton{"Add"}, editButton{"Edit"}, removeButton{"Remove"};
    MemoryButton startButton{"Start Service"}, stopButton{"Stop Service"};
    MemoryButton okButton{"OK"}, canButton{"Cancel"}, eokButton{"OK"}, ecanButton{"Cancel"};
    MemoryButton reverseButton{"Reverse"}, eReverseButton{"Reverse"};
    MemoryButton lockButtons, keepKeys{"Keep keys"};
    MemoryActivityIndicator wheelie;
    MemoryPasswordPrompt passwordPrompt;
    MemoryAssertionHandler assertionHandler;

    // Preferences window.
    MemoryButton reconOption{"Reconnect"}, keyOption{"Key files"}, comOption{"Own command"},
        askPass{"Askpass"}, usePrompt{"Prompt"};
    MemoryTextField commandInfo, commandArgs;
    MemoryTextView keyFiles;

    MemoryLayout();
    void wire(QuillboreDel& controller);
    void wire(MyPrefs& prefs, QuillboreDel& controller);
};
