// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The rows as the data source gave them. Qt asks rowCount() and data() as often as it paints;
// they are answered from this snapshot and never reach the data source.
//
// A reload sets the row count at once and makes every row stale. A stale row is asked for again
// once: the rows on screen after the turn of the event loop that made them stale (however many
// reloads that turn asked for), any other row when a cell of it is first read (a paint once it
// scrolls into view, a tooltip, a screen reader). So the cost of a reload does not grow with the
// rows off screen, and nothing ever reads a row older than the last reload. Only cells that
// changed are reported to the view: a status change of a row off screen repaints nothing.
class ServiceTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 4;
    static constexpr int kServerColumn = 0; // its image is the status light
    static constexpr int kStatusColumn = 3;
    static constexpr int ImageNameRole = Qt::UserRole + 1; // the cell's image name, "" for none

    explicit ServiceTableModel(QObject* parent = nullptr);

    // The column identifiers of the layout, in screen order, and their headers.
    static const std::array<std::string, kColumns>& identifiers();

    // Asked for a row's tooltip when it is about to show (the last words of its child).
    std::function<QString(int row)> rowToolTip;
    // Asks the data source for the cells of a stale row; it calls setCell for each.
    std::function<void(int row)> refreshRow;
    // The first and last row on screen; none (first > last) while the table is not shown.
    std::function<std::pair<int, int>()> rowsOnScreen;

    // Sets the number of rows at once: rows past `count` go, rows that stay keep their place
    // (and the view its selection), new rows are empty. Makes every row stale.
    void setRowCount(int count);
    bool isStale(int row) const;
    // Freshens the stale rows on screen now.
    void refreshNow();
    // During refreshRow: the cell as the data source gives it now.
    void setCell(int row, int column, std::string_view text, std::string_view image);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Cell {
        QString text;
        QString image;
    };
    struct Row {
        std::array<Cell, kColumns> cells;
        std::uint64_t freshAt = 0; // the reload it was last asked for in
    };

    void resize(int count);
    void freshen(int row);
    void cellChanged(int row, int column);
    void reportChanges();
    QIcon iconFor(const QString& name) const;

    std::vector<Row> rows_;
    std::uint64_t reloads_ = 1; // rows are fresh when asked for in the latest
    bool refreshPosted_ = false;
    // The cells that changed since the last report to the view.
    std::vector<std::pair<int, int>> changed_;
    mutable QHash<QString, QIcon> icons_;
};
