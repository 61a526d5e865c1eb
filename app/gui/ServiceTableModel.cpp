#include "ServiceTableModel.h"

#include "NamedImages.h"
#include "controller/toolkit.h"

ServiceTableModel::ServiceTableModel(QObject* parent) : QAbstractTableModel(parent) {}

const std::array<std::string, ServiceTableModel::kColumns>& ServiceTableModel::identifiers() {
    static const std::array<std::string, kColumns> ids{"Server", "Tunnel", "ListenPort", "Status"};
    return ids;
}

void ServiceTableModel::setRows(std::vector<Row> rows) {
    const int before = static_cast<int>(rows_.size());
    const int after = static_cast<int>(rows.size());
    if (after < before) {
        beginRemoveRows({}, after, before - 1);
        rows_.resize(after);
        endRemoveRows();
    } else if (after > before) {
        beginInsertRows({}, before, after - 1);
        rows_.resize(after);
        endInsertRows();
    }
    rows_ = std::move(rows);
    if (after > 0) emit dataChanged(index(0, 0), index(after - 1, kColumns - 1));
}

int ServiceTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ServiceTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QIcon ServiceTableModel::iconFor(const QString& name) const {
    auto it = icons_.find(name);
    if (it == icons_.end()) it = icons_.insert(name, named_images::icon(name.toStdString()));
    return *it;
}

QVariant ServiceTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumns) return {};
    const Cell& cell = rows_[static_cast<std::size_t>(index.row())][index.column()];
    switch (role) {
    case Qt::DisplayRole:
        return cell.text;
    case Qt::DecorationRole:
        if (cell.image.isEmpty()) return {};
        return iconFor(cell.image);
    case Qt::ToolTipRole: {
        const QString reason = rowToolTip ? rowToolTip(index.row()) : QString();
        QString kind;
        if (cell.image == QLatin1String(image::FollowLink)) kind = tr("SOCKS proxy");
        if (cell.image == QLatin1String(image::RightTriangle)) kind = tr("Local forward");
        if (cell.image == QLatin1String(image::LeftTriangle)) kind = tr("Reverse forward");
        if (!kind.isEmpty()) return reason.isEmpty() ? kind : kind + '\n' + reason;
        return reason.isEmpty() ? cell.text : reason;
    }
    case Qt::AccessibleDescriptionRole:
        // The light says the status by colour alone; a screen reader reads the status text.
        if (index.column() == kServerColumn)
            return rows_[static_cast<std::size_t>(index.row())][kStatusColumn].text;
        return {};
    case ImageNameRole:
        return cell.image;
    default:
        return {};
    }
}

QVariant ServiceTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const headers[kColumns] = {QT_TR_NOOP("Server"), QT_TR_NOOP("Tunnel"),
                                                  QT_TR_NOOP("Listen Port"), QT_TR_NOOP("Status")};
    if (section < 0 || section >= kColumns) return {};
    return tr(headers[section]);
}

Qt::ItemFlags ServiceTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
