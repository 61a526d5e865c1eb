#include "controller/MyPrefs.h"

#include "controller/QuillboreDel.h"

void MyPrefs::windowDidBecomeKey() {}
void MyPrefs::clickedOption(Control*) {}
void MyPrefs::userSave(Control*) {}
void MyPrefs::setKeysFiles(Control*) {}
