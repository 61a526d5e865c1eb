// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controller/ServiceEntry.h"

class QuillboreDel;

// Fills the edit window's controls from one entry: the texts, and the SOCKS box, reverse box
// and forward-address field set by the kind of its tunnel description. Shared by the edit
// button and the table's double click.
void fillEditWindow(QuillboreDel& del, const ServiceEntry& entry);
