#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QString>
#include <array>
#include <functional>
#include <string>
#include <vector>

// The rows of the last reload, as the data source gave them. Qt asks rowCount() and data()
// as often as it paints; they are answered from this snapshot and never reach the data source.
class ServiceTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 4;
    static constexpr int kServerColumn = 0; // its image is the status light
    static constexpr int kStatusColumn = 3;
    static constexpr int ImageNameRole = Qt::UserRole + 1; // the cell's image name, "" for none

    struct Cell {
        QString text;
        QString image;
    };
    using Row = std::array<Cell, kColumns>;

    explicit ServiceTableModel(QObject* parent = nullptr);

    // The column identifiers of the layout, in screen order, and their headers.
    static const std::array<std::string, kColumns>& identifiers();

    // Asked for a row's tooltip when it is about to show (the last words of its child).
    std::function<QString(int row)> rowToolTip;

    // Replaces the snapshot. Rows that stay keep their place (and the view its selection).
    void setRows(std::vector<Row> rows);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QIcon iconFor(const QString& name) const;

    std::vector<Row> rows_;
    mutable QHash<QString, QIcon> icons_;
};
