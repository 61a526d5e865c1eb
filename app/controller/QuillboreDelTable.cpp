// SPDX-License-Identifier: GPL-3.0-or-later
// The service table: rows, cells, clicks.
#include "controller/EditWindowFill.h"
#include "controller/QuillboreDel.h"
#include "controller/TunnelDescription.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Edit and remove need a selected row; the start and stop titles say whether they act on
// the selected service or on every service.
void applyButtonRule(QuillboreDel& del, long selected, std::size_t count) {
    const bool rowSelected = selected >= 0;
    const bool plural = !rowSelected && count >= 2;
    if (del.editButton) del.editButton->setEnabled(rowSelected);
    if (del.removeButton) del.removeButton->setEnabled(rowSelected);
    if (del.startButton) del.startButton->setTitle(plural ? "Start Services" : "Start Service");
    if (del.stopButton) del.stopButton->setTitle(plural ? "Stop Services" : "Stop Service");
}

long selectionOf(TableView* table) {
    return table ? table->selectedRow() : -1;
}

const char* kindImage(TunnelDescription::Kind kind) {
    switch (kind) {
    case TunnelDescription::Kind::Socks:
        return image::FollowLink;
    case TunnelDescription::Kind::Local:
        return image::RightTriangle;
    case TunnelDescription::Kind::Reverse:
        return image::LeftTriangle;
    }
    return "";
}

} // namespace

long QuillboreDel::numberOfRowsInTableView(TableView* table) {
    if (!theServiceList) theServiceList.emplace();
    const bool any = !theServiceList->empty();
    if (startButton) startButton->setEnabled(any);
    if (stopButton) stopButton->setEnabled(any);
    applyButtonRule(*this, selectionOf(table ? table : serviceList), theServiceList->size());
    saveUserData();
    return static_cast<long>(theServiceList->size());
}

CellView* QuillboreDel::viewForTableColumn(TableView* table, TableColumn* column, long row) {
    if (!table || !column) return nullptr;
    const std::string& id = column->identifier();
    if (id != "Server" && id != "Tunnel" && id != "ListenPort" && id != "Status") {
        const std::string description = "Unhandled table column identifier " + id;
        if (!assertionHandler) {
            std::fprintf(stderr, "%s\n", description.c_str());
            std::abort();
        }
        assertionHandler->handleFailure(description);
        return nullptr;
    }
    if (!theServiceList || row < 0 || static_cast<std::size_t>(row) >= theServiceList->size())
        return nullptr;

    const ServiceEntry& entry = (*theServiceList)[static_cast<std::size_t>(row)];
    CellView* cell = table->makeViewWithIdentifier(id);
    if (!cell) return nullptr;
    if (id == "Server") {
        cell->setText(entry.server);
        cell->setImage(statusLight(entry.state()));
    } else if (id == "Tunnel") {
        const TunnelDescription d = TunnelDescription::read(entry.tunnelDescription);
        cell->setText(d.kind == TunnelDescription::Kind::Socks ? entry.tunnelDescription
                                                               : d.forwardAddress);
        cell->setImage(kindImage(d.kind));
    } else if (id == "ListenPort") {
        cell->setText(entry.listenPort);
    } else {
        cell->setText(entry.status);
        if (entry.service && !entry.service->warning().empty()) cell->setImage(image::Caution);
    }
    return cell;
}

// The buttons follow the table's selection also when the table changed it itself: a reload
// drops a selected row past the end after the row count has applied the rule, and the status
// refresh selects the remembered row again. selectedRow stays, as after any removal.
void QuillboreDel::tableViewSelectionDidChange(TableView* table) {
    applyButtonRule(*this, selectionOf(table ? table : serviceList),
                    theServiceList ? theServiceList->size() : 0);
}

void QuillboreDel::gotsAClick(Control*) {
    selectedRow = selectionOf(serviceList);
    applyButtonRule(*this, selectedRow, theServiceList ? theServiceList->size() : 0);
}

void QuillboreDel::gotsADoubleClick() {
    if (refuseWhenLocked()) return;
    if (eokButton) eokButton->setState(1);
    if (ecanButton) ecanButton->setState(1);
    const long row = selectionOf(serviceList);
    if (row < 0 || !theServiceList || static_cast<std::size_t>(row) >= theServiceList->size())
        return;
    currentRow = row;
    const ServiceEntry entry = (*theServiceList)[static_cast<std::size_t>(row)];
    editedService = entry.service;
    if (editWindow) editWindow->makeKeyAndOrderFront();
    fillEditWindow(*this, entry);
}
