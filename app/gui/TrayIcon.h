// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop/TrayView.h"

#include <QObject>
#include <functional>
#include <vector>

class QAction;
class QIcon;
class QMenu;
class QSystemTrayIcon;
class TrayActions;

// The tray icon (a StatusNotifierItem on Linux desktops): its picture, tool tip and menu
// follow a TrayView; its menu entries call TrayActions. No logic of its own.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    TrayIcon(TrayActions& actions, std::function<void()> quit, QObject* parent = nullptr);
    ~TrayIcon() override;

    void show(const TrayView& view);
    QMenu* menu() const { return menu_; }
    // The picture for a light: the application's icon with the light in a corner.
    static QIcon picture(const std::string& light);

private:
    void rebuildMenu(const TrayView& view);
    void updateMenu(const TrayView& view);

    TrayActions& actions_;
    std::function<void()> quit_;
    QSystemTrayIcon* icon_;
    QMenu* menu_;
    std::vector<QAction*> serviceActions_;
    QAction* lockAction_ = nullptr;
    TrayView shown_;
    bool everShown_ = false;
};
