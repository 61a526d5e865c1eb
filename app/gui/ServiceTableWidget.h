// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTableView>

// The service table's view: one selected row at most, nothing editable. It reports the
// user's clicks (a click on empty space clears the selection first) and double clicks;
// moving the selection with the keyboard counts as a click, Return as a double click.
// Delete asks to remove the selected row; a context menu on a row selects it first (as a
// click) and then asks for the row's menu.
class ServiceTableWidget : public QTableView {
    Q_OBJECT
public:
    explicit ServiceTableWidget(QWidget* parent = nullptr);

signals:
    void clickedRow();
    void doubleClickedRow();
    void removeRequested();
    void rowMenuRequested(const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    int selectedRow() const;
};
