// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtTableView.h"

#include "ServiceTableModel.h"
#include "ServiceTableWidget.h"

#include <QItemSelectionModel>
#include <algorithm>
#include <limits>

QtTableView::QtTableView(ServiceTableWidget* view)
    : view_(view), model_(new ServiceTableModel(view)) {
    view_->setModel(model_);
    model_->refreshRow = [this](int row) { refreshRow(row); };
    model_->rowsOnScreen = [this] { return rowsOnScreen(); };
    QObject::connect(view_, &ServiceTableWidget::clickedRow, view_, [this] {
        if (action_) action_();
    });
    QObject::connect(view_, &ServiceTableWidget::doubleClickedRow, view_, [this] {
        if (doubleAction_) doubleAction_();
    });
}

QtTableView::~QtTableView() {
    if (!view_) return;
    QObject::disconnect(view_, nullptr, view_, nullptr);
    model_->refreshRow = nullptr;
    model_->rowsOnScreen = nullptr;
    model_->rowToolTip = nullptr;
}

long QtTableView::selectedRow() const {
    if (!view_ || !view_->selectionModel()) return -1;
    const QModelIndexList selected = view_->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

// The row count at once: the data source acts on it (buttons, the saved file) and the selection
// follows it. The cells follow after the turn of the event loop, or when first read (the model).
void QtTableView::reloadData() {
    const long count = dataSource_ ? std::max(0L, dataSource_->numberOfRowsInTableView(this)) : 0;
    // Rows past the new end lose their selection. Cleared here, before Qt's own single-selection
    // rule would move the selection onto a neighbouring row.
    bool dropped = false;
    if (view_ && view_->selectionModel()) {
        QItemSelectionModel* selection = view_->selectionModel();
        if (selection->currentIndex().row() >= count)
            selection->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
        if (selectedRow() >= count) {
            selection->clearSelection();
            dropped = true;
        }
    }
    cells_.clear();
    model_->setRowCount(static_cast<int>(std::min<long>(count, std::numeric_limits<int>::max())));
    // The data source saw the old selection while it counted the rows.
    if (dropped && dataSource_) dataSource_->tableViewSelectionDidChange(this);
}

void QtTableView::refreshRow(int row) {
    for (int c = 0; c < ServiceTableModel::kColumns; ++c) {
        TableColumn column(ServiceTableModel::identifiers()[static_cast<std::size_t>(c)]);
        const CellView* cell =
            dataSource_ ? dataSource_->viewForTableColumn(this, &column, row) : nullptr;
        if (cell)
            model_->setCell(row, c, cell->text(), cell->image());
        else
            model_->setCell(row, c, {}, {});
    }
}

std::pair<int, int> QtTableView::rowsOnScreen() const {
    if (!view_ || !view_->isVisible()) return {0, -1};
    const int first = view_->rowAt(0);
    if (first < 0) return {0, -1};
    const int last = view_->rowAt(view_->viewport()->height() - 1);
    return {first, last < 0 ? model_->rowCount() - 1 : last};
}

void QtTableView::selectRow(long row) {
    if (!view_ || !view_->selectionModel()) return;
    QItemSelectionModel* selection = view_->selectionModel();
    const long before = selectedRow();
    if (row < 0 || row >= model_->rowCount()) {
        selection->clearSelection();
    } else {
        const QModelIndex index = model_->index(static_cast<int>(row), 0);
        if (selection->isRowSelected(index.row(), {}) && selection->selectedRows().size() == 1)
            return;
        selection->setCurrentIndex(index,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    if (selectedRow() != before && dataSource_) dataSource_->tableViewSelectionDidChange(this);
}

void QtTableView::setDoubleAction(std::function<void()> action) {
    doubleAction_ = std::move(action);
}

CellView* QtTableView::makeViewWithIdentifier(const std::string& identifier) {
    cells_.push_back(std::make_unique<CellView>(identifier));
    return cells_.back().get();
}

void QtTableView::setDataSource(TableDataSource* dataSource) {
    dataSource_ = dataSource;
    model_->rowToolTip = [this](int row) {
        return dataSource_ ? QString::fromStdString(dataSource_->toolTipForRow(this, row))
                           : QString();
    };
}

void QtTableView::setAction(std::function<void()> action) {
    action_ = std::move(action);
}
