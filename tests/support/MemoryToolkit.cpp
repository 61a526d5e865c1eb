// SPDX-License-Identifier: GPL-3.0-or-later
#include "MemoryToolkit.h"

void MemoryWindow::beginSheet(const Alert& alert) {
    alerts.push_back(alert);
    if (!showing_) {
        showing_ = true;
        shownIndex_ = alerts.size() - 1;
    }
}

void MemoryWindow::pressOK() {
    if (!showing_) return;
    if (shownIndex_ + 1 < alerts.size()) {
        ++shownIndex_;
    } else {
        showing_ = false;
    }
}

void MemoryWindow::pressOther() {
    if (!showing_) return;
    const std::function<void()> action = alerts[shownIndex_].otherAction;
    pressOK();
    if (action) action();
}

std::vector<std::string> MemoryWindow::alertTexts() const {
    std::vector<std::string> texts;
    for (const auto& a : alerts)
        texts.push_back(a.informativeText);
    return texts;
}

const std::vector<std::string>& MemoryTableView::columnIdentifiers() {
    static const std::vector<std::string> ids{"Server", "Tunnel", "ListenPort", "Status"};
    return ids;
}

void MemoryTableView::reloadData() {
    ++reloadCount;
    madeViews_.clear();
    rows.clear();
    if (!dataSource) return;
    rowCount = dataSource->numberOfRowsInTableView(this);
    for (long r = 0; r < rowCount; ++r) {
        MemoryRow row;
        CellView* targets[] = {&row.server, &row.tunnel, &row.listenPort, &row.status};
        for (std::size_t c = 0; c < 4; ++c) {
            TableColumn column(columnIdentifiers()[c]);
            if (CellView* v = dataSource->viewForTableColumn(this, &column, r)) *targets[c] = *v;
        }
        rows.push_back(row);
    }
    if (selected >= rowCount) {
        selected = -1;
        dataSource->tableViewSelectionDidChange(this);
    }
}

void MemoryTableView::selectRow(long row) {
    const long before = selected;
    selected = (row >= 0 && row < rowCount) ? row : -1;
    if (selected != before && dataSource) dataSource->tableViewSelectionDidChange(this);
}

CellView* MemoryTableView::makeViewWithIdentifier(const std::string& identifier) {
    madeViews_.push_back(std::make_unique<CellView>(identifier));
    return madeViews_.back().get();
}
