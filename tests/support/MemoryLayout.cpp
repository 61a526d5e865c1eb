#include "MemoryLayout.h"

#include "controller/MyPrefs.h"
#include "controller/QuillboreDel.h"

MemoryLayout::MemoryLayout() {
    lockButtons.imageName = image::LockUnlocked;  // the application starts unlocked
    keyOption.stateValue = 1;
    usePrompt.enabled = false;
    commandInfo.enabled = false;
    commandArgs.enabled = false;
}

void MemoryLayout::wire(QuillboreDel& c) {
    c.mainWindow = &mainWindow;
    c.addWindow = &addWindow;
    c.editWindow = &editWindow;
    c.aboutWindow = &aboutWindow;
    c.serverAddress = &serverAddress;
    c.userName = &userName;
    c.userPassword = &userPassword;
    c.serverPort = &serverPort;
    c.statusText = &statusText;
    c.forwardInfo = &forwardInfo;
    c.eServerAddress = &eServerAddress;
    c.eUserName = &eUserName;
    c.eUserPassword = &eUserPassword;
    c.eServerPort = &eServerPort;
    c.eforwardInfo = &eforwardInfo;
    c.serviceList = &serviceList;
    c.isSocks = &isSocks;
    c.eisSocks = &eisSocks;
    c.addButton = &addButton;
    c.editButton = &editButton;
    c.removeButton = &removeButton;
    c.startButton = &startButton;
    c.stopButton = &stopButton;
    c.okButton = &okButton;
    c.canButton = &canButton;
    c.eokButton = &eokButton;
    c.ecanButton = &ecanButton;
    c.reverseButton = &reverseButton;
    c.eReverseButton = &eReverseButton;
    c.lockButtons = &lockButtons;
    c.keepKeys = &keepKeys;
    c.wheelie = &wheelie;
    c.passwordPrompt = &passwordPrompt;
    c.assertionHandler = &assertionHandler;
    serviceList.setDataSource(&c);
}

void MemoryLayout::wire(MyPrefs& p, QuillboreDel& c) {
    p.reconOption = &reconOption;
    p.keyOption = &keyOption;
    p.comOption = &comOption;
    p.askPass = &askPass;
    p.usePrompt = &usePrompt;
    p.commandInfo = &commandInfo;
    p.commandArgs = &commandArgs;
    p.keyFiles = &keyFiles;
    p.wind = &aboutWindow;
    p.keyWin = &keyWindow;
    p.delResponder = &c;
}
