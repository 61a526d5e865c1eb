// SPDX-License-Identifier: GPL-3.0-or-later
#include "MemoryLayout.h"

#include "controller/Outlets.h"

MemoryLayout::MemoryLayout() {
    lockButtons.imageName = image::LockUnlocked; // the application starts unlocked
    statusText.value = "Idle...";                // as the real main window starts
    keyOption.stateValue = 1;
    usePrompt.enabled = false;
    commandInfo.enabled = false;
    commandArgs.enabled = false;
}

void MemoryLayout::wire(QuillboreDel& c) {
    connectControllerOutlets(c, *this);
    c.wheelie = &wheelie;
}

void MemoryLayout::wire(MyPrefs& p, QuillboreDel& c) {
    connectPreferencesOutlets(p, c, *this);
}
