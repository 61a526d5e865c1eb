// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServiceTableModel.h"

#include "NamedImages.h"
#include "controller/toolkit.h"

#include <algorithm>

namespace {

// Beyond this many changed cells the view repaints as a whole: cheaper than one report each.
constexpr std::size_t kCellsReportedOneByOne = 64;

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Without a conversion for ASCII, which is what the controller's texts are.
bool same(const QString& held, std::string_view now) {
    const bool ascii = std::all_of(now.begin(), now.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return held == QLatin1StringView(now.data(), static_cast<qsizetype>(now.size()));
    return held == fromUtf8(now);
}

} // namespace

ServiceTableModel::ServiceTableModel(QObject* parent) : QAbstractTableModel(parent) {}

const std::array<std::string, ServiceTableModel::kColumns>& ServiceTableModel::identifiers() {
    static const std::array<std::string, kColumns> ids{"Server", "Tunnel", "ListenPort", "Status"};
    return ids;
}

void ServiceTableModel::setRowCount(int count) {
    ++reloads_;
    resize(std::max(0, count));
    // Reloads come in bursts (a Start all reports every service several times): the rows on
    // screen are asked for once, after the turn of the event loop that asked for the reloads.
    if (refreshPosted_) return;
    refreshPosted_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            refreshPosted_ = false;
            refreshNow();
        },
        Qt::QueuedConnection);
}

void ServiceTableModel::resize(int after) {
    const int before = rowCount();
    if (after < before) {
        beginRemoveRows({}, after, before - 1);
        rows_.resize(static_cast<std::size_t>(after));
        endRemoveRows();
    } else if (after > before) {
        beginInsertRows({}, before, after - 1);
        rows_.resize(static_cast<std::size_t>(after));
        endInsertRows();
    }
}

bool ServiceTableModel::isStale(int row) const {
    return row >= 0 && row < rowCount() && rows_[static_cast<std::size_t>(row)].freshAt != reloads_;
}

void ServiceTableModel::refreshNow() {
    const auto [first, last] = rowsOnScreen ? rowsOnScreen() : std::pair{0, rowCount() - 1};
    for (int row = std::max(first, 0); row <= last && row < rowCount(); ++row)
        if (isStale(row)) freshen(row);
    reportChanges();
}

void ServiceTableModel::freshen(int row) {
    // Fresh first: what the data source does meanwhile must not ask for the row again.
    rows_[static_cast<std::size_t>(row)].freshAt = reloads_;
    if (refreshRow) refreshRow(row);
}

void ServiceTableModel::setCell(int row, int column, std::string_view text,
                                std::string_view image) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= kColumns) return;
    Cell& cell = rows_[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)];
    const bool textChanged = !same(cell.text, text);
    const bool imageChanged = !same(cell.image, image);
    if (textChanged) cell.text = fromUtf8(text);
    if (imageChanged) cell.image = fromUtf8(image);
    if (textChanged || imageChanged) cellChanged(row, column);
    // The server cell's description for a screen reader is the status text.
    if (textChanged && column == kStatusColumn) cellChanged(row, kServerColumn);
}

void ServiceTableModel::cellChanged(int row, int column) {
    changed_.emplace_back(row, column);
}

// One cell at a time, the view repaints that cell if it is on screen and nothing otherwise; a
// range makes it repaint whatever it shows.
void ServiceTableModel::reportChanges() {
    const auto changed = std::exchange(changed_, {});
    if (changed.empty()) return;
    if (changed.size() <= kCellsReportedOneByOne) {
        for (const auto& [row, column] : changed)
            if (row < rowCount()) emit dataChanged(index(row, column), index(row, column));
        return;
    }
    const auto [first, last] = std::minmax_element(changed.begin(), changed.end());
    const int end = std::min(last->first, rowCount() - 1);
    if (first->first <= end) emit dataChanged(index(first->first, 0), index(end, kColumns - 1));
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
    // A row read before it was asked for again (off screen at the end of the turn, or read
    // before that) is asked for now.
    if (isStale(index.row())) {
        auto* self = const_cast<ServiceTableModel*>(this);
        self->freshen(index.row());
        self->reportChanges();
    }
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    const Cell& cell = row.cells[static_cast<std::size_t>(index.column())];
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
        if (index.column() == kServerColumn) return row.cells[kStatusColumn].text;
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
