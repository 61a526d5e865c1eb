// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controller/MyPrefs.h"
#include "controller/QuillboreDel.h"

// Connects the outlets of the controller and of the preferences logic to a window layout whose
// members bear the outlets' names (the Qt layout and the in-memory one both do). The activity
// indicator is left to the caller, as layouts hold it differently.
template <class Layout> void connectControllerOutlets(QuillboreDel& c, Layout& l) {
    c.mainWindow = &l.mainWindow;
    c.addWindow = &l.addWindow;
    c.editWindow = &l.editWindow;
    c.aboutWindow = &l.aboutWindow;
    c.serverAddress = &l.serverAddress;
    c.userName = &l.userName;
    c.userPassword = &l.userPassword;
    c.serverPort = &l.serverPort;
    c.statusText = &l.statusText;
    c.forwardInfo = &l.forwardInfo;
    c.eServerAddress = &l.eServerAddress;
    c.eUserName = &l.eUserName;
    c.eUserPassword = &l.eUserPassword;
    c.eServerPort = &l.eServerPort;
    c.eforwardInfo = &l.eforwardInfo;
    c.serviceList = &l.serviceList;
    c.isSocks = &l.isSocks;
    c.eisSocks = &l.eisSocks;
    c.addButton = &l.addButton;
    c.editButton = &l.editButton;
    c.removeButton = &l.removeButton;
    c.startButton = &l.startButton;
    c.stopButton = &l.stopButton;
    c.okButton = &l.okButton;
    c.canButton = &l.canButton;
    c.eokButton = &l.eokButton;
    c.ecanButton = &l.ecanButton;
    c.reverseButton = &l.reverseButton;
    c.eReverseButton = &l.eReverseButton;
    c.lockButtons = &l.lockButtons;
    c.keepKeys = &l.keepKeys;
    c.logWindow = &l.logWindow;
    c.passwordPrompt = &l.passwordPrompt;
    c.assertionHandler = &l.assertionHandler;
    l.serviceList.setDataSource(&c);
}

template <class Layout> void connectPreferencesOutlets(MyPrefs& p, QuillboreDel& c, Layout& l) {
    p.reconOption = &l.reconOption;
    p.keyOption = &l.keyOption;
    p.comOption = &l.comOption;
    p.askPass = &l.askPass;
    p.usePrompt = &l.usePrompt;
    p.commandInfo = &l.commandInfo;
    p.commandArgs = &l.commandArgs;
    p.keyFiles = &l.keyFiles;
    p.wind = &l.aboutWindow;
    p.keyWin = &l.keyWindow;
    p.delResponder = &c;
}
