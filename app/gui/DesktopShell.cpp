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
#include "desktop/TrayView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdlib>

namespace {

constexpr auto kKeepInTray = "keepInTray";

} // namespace

DesktopShell::DesktopShell(QuillboreApp& app, bool startHidden)
    : app_(app), startHidden_(startHidden), actions_(app.controller), stale_(app.controller),
      renewal_(app.controller.runLoop(), [this] { stale_.renew(); }),
      notifier_(new DbusNotifier(this)), trayHost_(new TrayHost(this)),
      wake_(new WakeWatcher(renewal_, this)) {
    keepInTray_ =
        QSettings(settingsPath(), QSettings::IniFormat).value(kKeepInTray, false).toBool();

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

    // The preferences window is built when it is first opened; the section goes in then.
    app_.windows.whenPreferencesBuilt(this, [this](PreferencesDialog* prefs) {
        prefsBox_ = new DesktopPrefsBox(prefs);
        if (auto* layout = qobject_cast<QVBoxLayout*>(prefs->layout())) {
            const int after = layout->indexOf(prefs->reconOption);
            layout->insertWidget(after >= 0 ? after + 1 : layout->count(), prefsBox_);
        }
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
    app_.controller.statusDidChange = nullptr;
    app_.controller.statusLineDidChange = nullptr;
}

bool DesktopShell::showsWindowAtLaunch() const {
    return !(startHidden_ && hasTray());
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
}

void DesktopShell::savePreferences() {
    keepInTray_ = prefsBox_->keepInTray->isChecked();
    QSettings settings(settingsPath(), QSettings::IniFormat);
    settings.setValue(kKeepInTray, keepInTray_);
    settings.sync();
    const std::string home = configHome().toStdString();
    const bool wanted = prefsBox_->startAtLogin->isChecked();
    if (wanted && !autostart::isEnabled(home))
        autostart::enable(home, QCoreApplication::applicationFilePath().toStdString());
    else if (!wanted)
        autostart::disable(home);
}

void DesktopShell::quit() {
    app_.windows.main->quitAction->trigger();
}
