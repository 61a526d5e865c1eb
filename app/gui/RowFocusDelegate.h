// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStyledItemDelegate>

// Draws the keyboard focus frame only inside a selected row. The table's current cell can
// outlive its selection (a reload, or Tab into a table with nothing selected), and a framed
// cell in an unselected row looks selected: Start and Stop would seem to act on it alone.
class RowFocusDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
