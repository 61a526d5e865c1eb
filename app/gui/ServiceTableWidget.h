#pragma once

#include <QTableView>

// The service table's view: one selected row at most, nothing editable. It reports the
// user's clicks (a click on empty space clears the selection first) and double clicks;
// moving the selection with the keyboard counts as a click, Return as a double click.
class ServiceTableWidget : public QTableView {
    Q_OBJECT
public:
    explicit ServiceTableWidget(QWidget* parent = nullptr);

signals:
    void clickedRow();
    void doubleClickedRow();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int selectedRow() const;
};
