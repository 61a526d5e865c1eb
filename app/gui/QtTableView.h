#pragma once

#include "ServiceTableWidget.h"
#include "controller/toolkit.h"

#include <QPointer>
#include <deque>
#include <functional>
#include <memory>

class ServiceTableModel;

// The table as the controller sees it. reloadData asks the data source for the row count
// once and for every cell of every row, and the view shows that snapshot until the next
// reload: the controller saves the service list at each row count, so a reload writes the
// file once however often Qt repaints.
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
    QPointer<ServiceTableWidget> view_;
    ServiceTableModel* model_; // owned by the view
    TableDataSource* dataSource_ = nullptr;
    std::function<void()> action_;
    std::function<void()> doubleAction_;
    std::deque<std::unique_ptr<CellView>> cells_; // made during the last reload
};
