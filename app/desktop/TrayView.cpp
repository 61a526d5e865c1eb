#include "desktop/TrayView.h"

#include "desktop/TrayViewBuilder.h"

TrayView TrayView::of(const QuillboreDel& c) {
    return TrayViewBuilder().of(c);
}
