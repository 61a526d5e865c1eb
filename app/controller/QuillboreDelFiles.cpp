// Service list file and preferences file.
#include "controller/QuillboreDel.h"

void QuillboreDel::loadUserData() {}
void QuillboreDel::saveUserData() {}
void QuillboreDel::reloadPreferences() {}
