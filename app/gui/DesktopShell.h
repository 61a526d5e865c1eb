// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop/RenewalTrigger.h"
#include "desktop/ServiceNotices.h"
#include "desktop/StaleConnections.h"
#include "desktop/TrayActions.h"
#include "desktop/TrayViewBuilder.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class DbusNotifier;
class DesktopPrefsBox;
class QSettings;
class QuillboreApp;
class TrayHost;
class TrayIcon;
class WakeWatcher;

// The application on the desktop: the tray icon (from whenever a tray host is there), closing
// to the tray, notices, restarts after sleep or a network change, the services started again at
// launch, and the desktop preferences (kept in $XDG_CONFIG_HOME/QuillboreSSH/desktop.conf, apart
// from the data files). Installed beside the application object, before its launch; it only
// adds hooks to the application, the controller and the windows.
class DesktopShell : public QObject {
    Q_OBJECT
public:
    DesktopShell(QuillboreApp& app, bool startHidden);
    ~DesktopShell() override;

    // How long a hidden start waits for a tray that is not there yet (at login the panel may
    // come up after the application) before it shows the window after all.
    static constexpr int kTrayGraceMs = 5000;
    // Whether launch should show the main window: not when started hidden. Without a tray,
    // a hidden start shows it once kTrayGraceMs have passed without one.
    bool showsWindowAtLaunch() const;
    bool hasTray() const;
    // Shows and raises the main window, as the tray's Show window does.
    void showWindow();

    QString settingsPath() const;
    QString configHome() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followTrayHost();
    void scheduleTrayRefresh();
    void followTrayOption();
    void loadPreferences();
    void savePreferences();
    // Writes desktop.conf through `change`, owner-only: it names servers and ports.
    void changeSettings(const std::function<void(QSettings&)>& change);
    // At the end: which services ran. At launch: start those again.
    void rememberRunning();
    void startLastRunning();
    void quit();

    QuillboreApp& app_;
    bool startHidden_;
    bool keepInTray_ = false;
    bool startLastRunning_ = false;
    TrayActions actions_;
    StaleConnections stale_;
    RenewalTrigger renewal_;
    DbusNotifier* notifier_;
    std::unique_ptr<ServiceNotices> notices_;
    TrayHost* trayHost_;
    TrayIcon* tray_ = nullptr; // made when a tray host first shows up, then kept
    TrayViewBuilder trayViews_;
    WakeWatcher* wake_;
    DesktopPrefsBox* prefsBox_ = nullptr; // once the preferences window is built
    bool refreshPending_ = false;
};
