// The service table: rows, cells, clicks.
#include "controller/QuillboreDel.h"

long QuillboreDel::numberOfRowsInTableView(TableView*) { return 0; }
CellView* QuillboreDel::viewForTableColumn(TableView*, TableColumn*, long) { return nullptr; }
void QuillboreDel::gotsAClick(Control*) {}
void QuillboreDel::gotsADoubleClick() {}
