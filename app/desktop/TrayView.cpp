// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/TrayView.h"

#include "desktop/TrayViewBuilder.h"

TrayView TrayView::of(const QuillboreDel& c) {
    return TrayViewBuilder().of(c);
}
