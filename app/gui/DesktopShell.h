#pragma once

#include "desktop/RenewalTrigger.h"
#include "desktop/ServiceNotices.h"
#include "desktop/StaleConnections.h"
#include "desktop/TrayActions.h"
#include "desktop/TrayViewBuilder.h"

#include <QObject>
#include <QString>
#include <memory>

class DbusNotifier;
class DesktopPrefsBox;
class QuillboreApp;
class TrayHost;
class TrayIcon;
class WakeWatcher;

// The application on the desktop: the tray icon (from whenever a tray host is there), closing
// to the tray, notices, restarts after sleep or a network change, and the desktop preferences (kept
// in $XDG_CONFIG_HOME/QuillboreSSH/desktop.conf, apart from the data files). Installed beside the
// application object; it only adds hooks to the controller and the windows.
class DesktopShell : public QObject {
    Q_OBJECT
public:
    DesktopShell(QuillboreApp& app, bool startHidden);
    ~DesktopShell() override;

    // Whether launch should show the main window: not when started hidden into a tray.
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
    void quit();

    QuillboreApp& app_;
    bool startHidden_;
    bool keepInTray_ = false;
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
