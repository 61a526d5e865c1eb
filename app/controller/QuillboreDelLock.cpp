// The application lock.
#include "controller/QuillboreDel.h"

void QuillboreDel::toggleLock(Button*) {}
bool QuillboreDel::doAuth() { return false; }
void QuillboreDel::timeLock() {}
void QuillboreDel::windowDidResignMain() {}
void QuillboreDel::windowDidBecomeMain() {}
