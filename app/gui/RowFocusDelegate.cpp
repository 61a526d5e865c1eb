// SPDX-License-Identifier: GPL-3.0-or-later
#include "RowFocusDelegate.h"

void RowFocusDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyleOptionViewItem cell(option);
    if (!(cell.state & QStyle::State_Selected)) cell.state &= ~QStyle::State_HasFocus;
    QStyledItemDelegate::paint(painter, cell, index);
}
