#pragma once

#include "controller/ServiceEntry.h"

class QuillboreDel;

// Fills the edit window's form from one entry: the texts, and the SOCKS box, reverse box and
// forward-address field set by the kind that the tunnel description names.
// Shared by the edit button and the table's double click.
void fillEditWindow(QuillboreDel& c, const ServiceEntry& entry);
