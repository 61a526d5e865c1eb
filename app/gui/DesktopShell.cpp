// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopShell.h"

#include "DbusNotifier.h"
#include "DesktopPrefsBox.h"
#include "MainWindow.h"
#include "PreferencesDialog.h"
#include "QuillboreApp.h"
#include "TrayHost.h"
#include "TrayIcon.h"
#include "WakeWatcher.h"
#include "desktop/Autostart.h"
#include "desktop/LastRunning.h"
#include "desktop/TrayView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdlib>

namespace {

constexpr auto kKeepInTray = "keepInTray";
constexpr auto kStartLastRunning = "startLastRunning";
// An array of (server, port, tunnel), written at the end while kStartLastRunning is on.
constexpr auto kLastRunning = "lastRunning";
constexpr auto kServer = "server";
constexpr auto kPort = "port";
constexpr auto kTunnel = "tunnel";

std::vector<last_running::Service> readLastRunning(QSettings& settings) {
    std::vector<last_running::Service> services;
    const int count = settings.beginReadArray(kLastRunning);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        services.push_back({settings.value(kServer).toString().toStdString(),
                            settings.value(kPort).toString().toStdString(),
                            settings.value(kTunnel).toString().toStdString()});
    }
    settings.endArray();
    return services;
}

} // namespace

DesktopShell::DesktopShell(QuillboreApp& app, bool startHidden)
    : app_(app), startHidden_(startHidden), actions_(app.controller), stale_(app.controller),
      renewal_(app.controller.runLoop(), [this] { stale_.renew(); }),
      notifier_(new DbusNotifier(this)), trayHost_(new TrayHost(this)),
      wake_(new WakeWatcher(renewal_, this)) {
    {
        const QSettings settings(settingsPath(), QSettings::IniFormat);
        keepInTray_ = settings.value(kKeepInTray, false).toBool();
        startLastRunning_ = settings.value(kStartLastRunning, false).toBool();
    }
    // Once per launch, after the service list has been loaded: a second launch hands over
    // before any of this is built. Every full end (Quit, the window's close that quits, a
    // signal) comes through the application's end.
    app_.didLaunch = [this] { startLastRunning(); };
    app_.willEnd = [this] { rememberRunning(); };

    MainWindow* main = app_.windows.main.get();
    notices_ = std::make_unique<ServiceNotices>(app_.controller.runLoop(), *notifier_,
                                                [main] { return main->isActiveWindow(); });
    app_.controller.statusDidChange = [this](const ServiceEntry& entry) {
        notices_->statusChanged(entry);
        scheduleTrayRefresh();
    };
    app_.controller.statusLineDidChange = [this] { scheduleTrayRefresh(); };

    main->installEventFilter(this);
    connect(trayHost_, &TrayHost::availabilityChanged, this, &DesktopShell::followTrayHost);
    followTrayHost();

    // A window that is not shown is out of use: the idle lock counts from the start.
    if (!showsWindowAtLaunch()) app_.controller.windowDidResignMain();
    if (startHidden_ && !hasTray())
        QTimer::singleShot(kTrayGraceMs, this, [this] {
            if (!hasTray()) showWindow();
        });

    // The preferences window is built when it is first opened; the section goes in then.
    app_.windows.whenPreferencesBuilt(this, [this](PreferencesDialog* prefs) {
        prefsBox_ = new DesktopPrefsBox(prefs);
        if (auto* layout = qobject_cast<QVBoxLayout*>(prefs->layout())) {
            const int after = layout->indexOf(prefs->reconOption);
            layout->insertWidget(after >= 0 ? after + 1 : layout->count(), prefsBox_);
        }
        // Tab goes through the section where it is shown, not after the window's buttons.
        QWidget::setTabOrder(prefs->reconOption, prefsBox_->keepInTray);
        QWidget::setTabOrder(prefsBox_->keepInTray, prefsBox_->startAtLogin);
        QWidget::setTabOrder(prefsBox_->startAtLogin, prefsBox_->startLastRunning);
        followTrayOption();
        prefs->installEventFilter(this);
        // Connected after the preferences logic: the window has closed when its save succeeded.
        connect(prefs->saveButton, &QPushButton::clicked, this, [this, prefs] {
            if (!prefs->isVisible()) savePreferences();
        });
    });
}

DesktopShell::~DesktopShell() {
    delete wake_; // it tells renewal_, which goes before the children do
    app_.didLaunch = nullptr;
    app_.willEnd = nullptr;
    app_.controller.statusDidChange = nullptr;
    app_.controller.statusLineDidChange = nullptr;
}

bool DesktopShell::showsWindowAtLaunch() const {
    return !startHidden_;
}

bool DesktopShell::hasTray() const {
    return tray_ && trayHost_->isAvailable();
}

void DesktopShell::showWindow() {
    actions_.showWindow();
}

// What depends on a tray follows it: the icon is made when a host first shows up (Qt
// registers it again with a watcher that restarts), and while there is none, closing the
// window quits as it does on a desktop without a tray.
void DesktopShell::followTrayHost() {
    const bool host = trayHost_->isAvailable();
    if (host && !tray_) {
        tray_ = new TrayIcon(
            actions_, [this] { quit(); }, this);
        scheduleTrayRefresh();
    }
    // The tray keeps the application alive; closing the main window decides itself.
    QApplication::setQuitOnLastWindowClosed(!host);
    followTrayOption();
}

QString DesktopShell::configHome() const {
    return QString::fromStdString(
        autostart::configHome(std::getenv("XDG_CONFIG_HOME"), app_.controller.getUserDir()));
}

QString DesktopShell::settingsPath() const {
    return configHome() + QStringLiteral("/QuillboreSSH/desktop.conf");
}

bool DesktopShell::eventFilter(QObject* watched, QEvent* event) {
    if (watched == app_.windows.main.get() && event->type() == QEvent::Close && hasTray()) {
        if (keepInTray_) {
            event->ignore();
            app_.windows.main->hide();
            // Hidden is out of use, whether or not the window was active before.
            app_.controller.windowDidResignMain();
            return true;
        }
        // Closing the window quits, as without a tray, through the menu's Quit; unless the
        // window refused to close after all.
        QTimer::singleShot(0, this, [this] {
            if (!app_.windows.main->isVisible()) quit();
        });
        return false;
    }
    if (watched == app_.windows.builtPreferences() && event->type() == QEvent::Show)
        loadPreferences();
    return QObject::eventFilter(watched, event);
}

// Status changes come in bursts, often from inside a menu action: the tray is redrawn once,
// from the event loop.
void DesktopShell::scheduleTrayRefresh() {
    if (!tray_ || refreshPending_) return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] {
        refreshPending_ = false;
        tray_->show(trayViews_.of(app_.controller));
    });
}

// The option to keep running in the tray is offered while there is a tray to keep it in.
void DesktopShell::followTrayOption() {
    if (!prefsBox_) return; // the preferences window is not built yet
    const bool host = trayHost_->isAvailable();
    prefsBox_->keepInTray->setEnabled(host);
    prefsBox_->keepInTray->setToolTip(host ? QString() : tr("There is no tray on this desktop"));
}

void DesktopShell::loadPreferences() {
    prefsBox_->keepInTray->setChecked(keepInTray_);
    prefsBox_->startAtLogin->setChecked(autostart::isEnabled(configHome().toStdString()));
    prefsBox_->startLastRunning->setChecked(startLastRunning_);
}

void DesktopShell::savePreferences() {
    keepInTray_ = prefsBox_->keepInTray->isChecked();
    startLastRunning_ = prefsBox_->startLastRunning->isChecked();
    changeSettings([this](QSettings& settings) {
        settings.setValue(kKeepInTray, keepInTray_);
        settings.setValue(kStartLastRunning, startLastRunning_);
        // Turned off, the services are forgotten: a later turn on starts nothing until an end
        // has remembered them anew.
        if (!startLastRunning_) settings.remove(kLastRunning);
    });
    const std::string home = configHome().toStdString();
    const bool wanted = prefsBox_->startAtLogin->isChecked();
    if (wanted && !autostart::isEnabled(home))
        autostart::enable(home, QCoreApplication::applicationFilePath().toStdString());
    else if (!wanted)
        autostart::disable(home);
}

void DesktopShell::changeSettings(const std::function<void(QSettings&)>& change) {
    const QString path = settingsPath();
    constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    // QSettings replaces the file keeping its permissions: a new one is made owner-only first.
    QDir().mkpath(QFileInfo(path).path());
    QFile(path).open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly);
    QSettings settings(path, QSettings::IniFormat);
    change(settings);
    settings.sync();
    QFile::setPermissions(path, ownerOnly); // one written before it was owner-only
}

// Off, there is nothing to remember: the services were forgotten when it was turned off.
void DesktopShell::rememberRunning() {
    if (!startLastRunning_) return;
    const std::vector<last_running::Service> running = last_running::of(app_.controller);
    changeSettings([&running](QSettings& settings) {
        settings.remove(kLastRunning);
        settings.beginWriteArray(kLastRunning, static_cast<int>(running.size()));
        for (int i = 0; i < static_cast<int>(running.size()); ++i) {
            settings.setArrayIndex(i);
            settings.setValue(kServer, QString::fromStdString(running[i].server));
            settings.setValue(kPort, QString::fromStdString(running[i].listenPort));
            settings.setValue(kTunnel, QString::fromStdString(running[i].tunnelDescription));
        }
        settings.endArray();
    });
}

// The remembered services stay remembered until the next end: after a crash, the next launch
// starts them again.
void DesktopShell::startLastRunning() {
    if (!startLastRunning_) return;
    QSettings settings(settingsPath(), QSettings::IniFormat);
    last_running::start(app_.controller, readLastRunning(settings), app_.controller.mainWindow);
}

void DesktopShell::quit() {
    app_.windows.main->quitAction->trigger();
}
