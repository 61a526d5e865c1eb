// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>

class QAction;
class QCheckBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;
class QtActivityIndicator;
class ServiceTableWidget;

// The main window's widgets: the service table, the buttons that act on it, the lock, the
// activity indicator and the status line, and the menus. No logic: AppWindows wires it.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    ServiceTableWidget* table;
    QPushButton* addButton;
    QPushButton* editButton;
    QPushButton* removeButton;
    QPushButton* startButton;
    QPushButton* stopButton;
    QToolButton* lockButton;
    QCheckBox* keepKeys;
    QtActivityIndicator* wheelie;
    QLineEdit* statusText;

    // The context menu of a row.
    QMenu* rowMenu;
    QAction* startRowAction;
    QAction* stopRowAction;
    QAction* editRowAction;
    QAction* removeRowAction;

    QAction* preferencesAction;
    QAction* quitAction;
    QAction* lockAction;
    QAction* showLogAction;

private:
    void buildMenus();
    void buildRowMenu();
    QMenu* servicesMenu_ = nullptr;
};
