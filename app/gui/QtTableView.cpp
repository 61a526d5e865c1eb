#include "QtTableView.h"

#include "ServiceTableModel.h"
#include "ServiceTableWidget.h"

#include <QItemSelectionModel>

QtTableView::QtTableView(ServiceTableWidget* view)
    : view_(view), model_(new ServiceTableModel(view)) {
    view_->setModel(model_);
    QObject::connect(view_, &ServiceTableWidget::clickedRow, view_, [this] {
        if (action_) action_();
    });
    QObject::connect(view_, &ServiceTableWidget::doubleClickedRow, view_, [this] {
        if (doubleAction_) doubleAction_();
    });
}

QtTableView::~QtTableView() {
    if (view_) QObject::disconnect(view_, nullptr, view_, nullptr);
}

long QtTableView::selectedRow() const {
    if (!view_ || !view_->selectionModel()) return -1;
    const QModelIndexList selected = view_->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void QtTableView::reloadData() {
    cells_.clear();
    std::vector<ServiceTableModel::Row> rows;
    if (dataSource_) {
        const long count = dataSource_->numberOfRowsInTableView(this);
        rows.reserve(static_cast<std::size_t>(std::max(0L, count)));
        for (long r = 0; r < count; ++r) {
            ServiceTableModel::Row row;
            for (int c = 0; c < ServiceTableModel::kColumns; ++c) {
                TableColumn column(ServiceTableModel::identifiers()[static_cast<std::size_t>(c)]);
                if (CellView* cell = dataSource_->viewForTableColumn(this, &column, r)) {
                    row[static_cast<std::size_t>(c)] = {QString::fromStdString(cell->text()),
                                                        QString::fromStdString(cell->image())};
                }
            }
            rows.push_back(std::move(row));
        }
    }
    // Rows past the new end lose their selection. Cleared here, before Qt's own single-selection
    // rule would move the selection onto a neighbouring row.
    bool dropped = false;
    if (view_ && view_->selectionModel()) {
        const int count = static_cast<int>(rows.size());
        QItemSelectionModel* selection = view_->selectionModel();
        if (selection->currentIndex().row() >= count)
            selection->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
        if (selectedRow() >= count) {
            selection->clearSelection();
            dropped = true;
        }
    }
    model_->setRows(std::move(rows));
    // The data source saw the old selection while it counted the rows.
    if (dropped && dataSource_) dataSource_->tableViewSelectionDidChange(this);
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
