// Adding, editing and removing services.
#include "controller/QuillboreDel.h"

void QuillboreDel::addService(Control*) {}
void QuillboreDel::addToList(Control*) {}
void QuillboreDel::editService(Control*) {}
void QuillboreDel::editList(Control*) {}
void QuillboreDel::removeFromList(Control*) {}
void QuillboreDel::handleCheckBox(Control*) {}
