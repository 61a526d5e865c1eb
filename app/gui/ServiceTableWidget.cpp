// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServiceTableWidget.h"

#include "RowFocusDelegate.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>

ServiceTableWidget::ServiceTableWidget(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setAlternatingRowColors(true);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setIconSize(QSize(16, 16));
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setItemDelegate(new RowFocusDelegate(this));
}

int ServiceTableWidget::selectedRow() const {
    if (!selectionModel()) return -1;
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ServiceTableWidget::mousePressEvent(QMouseEvent* event) {
    if (!indexAt(event->position().toPoint()).isValid()) {
        clearSelection();
        if (selectionModel()) selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
        event->accept();
    } else {
        QTableView::mousePressEvent(event);
    }
    emit clickedRow();
}

void ServiceTableWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    // Normally the first click of the pair has set the selection already.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) {
        if (selectedRow() != -1) {
            clearSelection();
            emit clickedRow();
        }
    } else if (selectedRow() != index.row()) {
        setCurrentIndex(index);
        emit clickedRow();
    }
    event->accept();
    emit doubleClickedRow();
}

void ServiceTableWidget::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        if (selectedRow() >= 0) emit doubleClickedRow();
        return;
    }
    bool removing = event->matches(QKeySequence::Delete);
#ifdef Q_OS_MACOS
    removing =
        removing || (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::NoModifier);
#endif
    if (removing) {
        if (selectedRow() >= 0) emit removeRequested();
        event->accept();
        return;
    }
    const int before = selectedRow();
    QTableView::keyPressEvent(event);
    if (selectedRow() != before) emit clickedRow();
}

void ServiceTableWidget::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        const int row = selectedRow();
        if (row < 0) return;
        const QRect cell = visualRect(model()->index(row, 0));
        emit rowMenuRequested(viewport()->mapToGlobal(cell.center()));
        return;
    }
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (!index.isValid()) return;
    if (selectedRow() != index.row()) {
        setCurrentIndex(index);
        emit clickedRow();
    }
    emit rowMenuRequested(event->globalPos());
}
