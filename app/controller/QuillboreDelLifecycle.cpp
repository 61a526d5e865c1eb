// Start and end of the application.
#include "controller/QuillboreDel.h"

void QuillboreDel::applicationDidFinishLaunching() {}
void QuillboreDel::applicationWillTerminate() {}
void QuillboreDel::openPreferences(Control*) {}
