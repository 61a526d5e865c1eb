// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ServiceTableWidget.h"
#include "controller/toolkit.h"

#include <QPointer>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class ServiceTableModel;

// The table as the controller sees it. reloadData asks the data source for the row count at
// once (the controller saves the service list then) and makes every row stale; the cells of a
// stale row are asked for once, after the turn of the event loop for the rows on screen, or
// when first read for the others (ServiceTableModel). The view shows them until the next
// reload, however often Qt repaints.
class QtTableView : public TableView {
public:
    explicit QtTableView(ServiceTableWidget* view);
    ~QtTableView() override;

    long selectedRow() const override;
    void reloadData() override;
    void selectRow(long row) override;
    void setDoubleAction(std::function<void()> action) override;
    CellView* makeViewWithIdentifier(const std::string& identifier) override;
    void setDataSource(TableDataSource* dataSource) override;

    // The single-click action (the layout binds it to the controller).
    void setAction(std::function<void()> action);

    ServiceTableWidget* widget() const { return view_; }
    ServiceTableModel* model() const { return model_; }

private:
    void refreshRow(int row);
    std::pair<int, int> rowsOnScreen() const;

    QPointer<ServiceTableWidget> view_;
    ServiceTableModel* model_; // owned by the view
    TableDataSource* dataSource_ = nullptr;
    std::function<void()> action_;
    std::function<void()> doubleAction_;
    std::vector<std::unique_ptr<CellView>> cells_; // made since the last reload
};
