// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop shell with the real widgets on a private desktop (with-private-desktop: Xvfb
// and a StatusNotifierWatcher on a private session bus, so there is a tray): the desktop
// preferences and their file, the autostart entry, closing to the tray, the start hidden,
// the data files left as they were, and the application's own D-Bus interface.
#include "DesktopPrefsBox.h"
#include "DesktopShell.h"
#include "FakeAuthorizer.h"
#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "PreferencesDialog.h"
#include "QtRunLoop.h"
#include "QuillboreApp.h"
#include "SingleInstance.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/SyslogLog.h"
#include "store/Cipher.h"

#include <QAction>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <memory>
#include <sys/stat.h>

using namespace gui_test;

class GuiDesktopTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QtRunLoop> runLoop;
    PosixProcessLauncher launcher;
    SyslogLog log;
    FakeAuthorizer authorizer;
    std::unique_ptr<QuillboreApp> app;
    std::unique_ptr<DesktopShell> shell;
    QByteArray listBefore, prefsBefore;

    MainWindow& main() { return *app->windows.main; }
    PreferencesDialog& prefs() { return *app->windows.preferences(); }
    DesktopPrefsBox* box() { return prefs().findChild<DesktopPrefsBox*>(); }
    QString autostartFile() { return env("XDG_CONFIG_HOME") + "/autostart/quillbore-ssh.desktop"; }

    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Opens the preferences, sets the two desktop boxes and saves.
    void saveDesktopPrefs(bool keepInTray, bool startAtLogin) {
        main().preferencesAction->trigger();
        QVERIFY(QTest::qWaitFor([&] { return prefs().isVisible(); }, 2000));
        box()->keepInTray->setChecked(keepInTray);
        box()->startAtLogin->setChecked(startAtLogin);
        QTest::mouseClick(prefs().saveButton, Qt::LeftButton);
        QVERIFY(!prefs().isVisible());
    }

    // A new start: the old application's timers go with its run loop.
    void launch(bool hidden) {
        shell.reset();
        if (app) app->controller.applicationWillTerminate();
        app.reset();
        runLoop = std::make_unique<QtRunLoop>();
        app = std::make_unique<QuillboreApp>(*runLoop, launcher, log, authorizer);
        shell = std::make_unique<DesktopShell>(*app, hidden);
        // Quitting is what the menu's Quit does; here it is only counted.
        QObject::disconnect(main().quitAction, &QAction::triggered, nullptr, nullptr);
        app->launch(shell->showsWindowAtLaunch());
    }

private slots:
    void initTestCase() {
        QVERIFY2(!env("DBUS_SESSION_BUS_ADDRESS").isEmpty(), "run under with-private-desktop");
        // A service list and preferences as the application leaves them.
        QFile list(home() + "/.QuillboreSSH.lst");
        QVERIFY(list.open(QIODevice::WriteOnly));
        const std::string plain = "gate.example\x1f"
                                  "1080\x1f"
                                  "me\x1f"
                                  "pw\x1f"
                                  "SOCKS";
        list.write(cipher::encryptString(plain, login().toStdString()).c_str());
        list.close();
        launch(false);
        QVERIFY(QTest::qWaitForWindowExposed(&main()));
        QVERIFY(shell->hasTray());
        QCOMPARE(app->controller.theServiceList->size(), std::size_t(1));
        // The preferences file as the window saves it without any desktop preference.
        saveDesktopPrefs(false, false);
        listBefore = read(home() + "/.QuillboreSSH.lst");
        prefsBefore = read(home() + "/.QuillboreSSH");
    }

    void cleanupTestCase() {
        shell.reset();
        app->controller.applicationWillTerminate();
        app.reset();
    }

    void theDesktopSectionHasItsOwnHeadingAndStartsOff() {
        QVERIFY(box());
        QCOMPARE(box()->title(), QStringLiteral("&Desktop"));
        QCOMPARE(box()->keepInTray->text(),
                 QStringLiteral("Keep running in the tray when the window is closed"));
        QCOMPARE(
            box()->startLastRunning->text(),
            QStringLiteral("Start the services that were running when the application last ended"));
        main().preferencesAction->trigger();
        QVERIFY(QTest::qWaitFor([&] { return prefs().isVisible(); }, 2000));
        QVERIFY(box()->isVisible());
        QVERIFY(!box()->keepInTray->isChecked());
        QVERIFY(!box()->startAtLogin->isChecked());
        QVERIFY(!box()->startLastRunning->isChecked());
        QTest::mouseClick(prefs().cancelButton, Qt::LeftButton);
    }

    void closingWithoutTheTrayPreferenceQuitsThroughQuit() {
        QSignalSpy quits(main().quitAction, &QAction::triggered);
        main().close();
        QVERIFY(quits.wait(2000));
        QCOMPARE(quits.count(), 1);
        main().show();
    }

    void theStartAtLoginEntryComesAndGoesWithThePreference() {
        QVERIFY(!QFile::exists(autostartFile()));
        saveDesktopPrefs(false, true);
        const QByteArray entry = read(autostartFile());
        QVERIFY(entry.startsWith("[Desktop Entry]\n"));
        QVERIFY(entry.contains("\nExec=\"" + QCoreApplication::applicationFilePath().toUtf8() +
                               "\" --hidden\n"));
        // Opened again, the box shows what is there.
        main().preferencesAction->trigger();
        QVERIFY(QTest::qWaitFor([&] { return prefs().isVisible(); }, 2000));
        QVERIFY(box()->startAtLogin->isChecked());
        // Cancel keeps the entry, whatever the box shows meanwhile.
        box()->startAtLogin->setChecked(false);
        QTest::mouseClick(prefs().cancelButton, Qt::LeftButton);
        QVERIFY(QFile::exists(autostartFile()));

        saveDesktopPrefs(false, false);
        QVERIFY(!QFile::exists(autostartFile()));
    }

    void withTheTrayPreferenceClosingHidesTheWindowAndKeepsRunning() {
        saveDesktopPrefs(true, false);
        QSettings stored(env("XDG_CONFIG_HOME") + "/QuillboreSSH/desktop.conf",
                         QSettings::IniFormat);
        QCOMPARE(stored.value("keepInTray").toBool(), true);
        // It names servers once services are remembered in it.
        struct stat st {};
        QCOMPARE(::stat(qPrintable(stored.fileName()), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);

        QSignalSpy quits(main().quitAction, &QAction::triggered);
        main().close();
        QVERIFY(QTest::qWaitFor([&] { return !main().isVisible(); }, 2000));
        QTest::qWait(100); // a quit would have been queued by now
        QCOMPARE(quits.count(), 0);
        QVERIFY(!QApplication::quitOnLastWindowClosed());
        QVERIFY2(app->controller.lockTimer, "the idle lock counts while the window is hidden");
    }

    void theTrayPreferenceIsReadAtTheNextStartWhichCanBeHidden() {
        launch(true);
        QVERIFY(!shell->showsWindowAtLaunch());
        QTest::qWait(200);
        QVERIFY(!main().isVisible());
        QVERIFY2(app->controller.lockTimer, "the idle lock counts from a hidden start");
        // The preference was kept: closing after showing hides again.
        main().show();
        QVERIFY(QTest::qWaitForWindowExposed(&main()));
        QSignalSpy quits(main().quitAction, &QAction::triggered);
        main().close();
        QVERIFY(QTest::qWaitFor([&] { return !main().isVisible(); }, 2000));
        QCOMPARE(quits.count(), 0);
    }

    // main() owns the name before the windows exist: a second launch in that moment is not lost,
    // and it is answered at once.
    void anActivateBeforeTheWindowExistsShowsItOnceItDoes() {
        SingleInstance instance;
        QCOMPARE(instance.claim(), SingleInstance::Claim::First);
        const QString name = QStringLiteral("a second launch");
        QDBusConnection second =
            QDBusConnection::connectToBus(env("DBUS_SESSION_BUS_ADDRESS"), name);
        const auto activate = [&] {
            QDBusPendingCallWatcher call(second.asyncCall(QDBusMessage::createMethodCall(
                SingleInstance::kBusName, SingleInstance::kObjectPath, SingleInstance::kInterface,
                QStringLiteral("Activate"))));
            QVERIFY(QTest::qWaitFor([&] { return call.isFinished(); }, 5000));
            QVERIFY2(!call.isError(), qPrintable(call.error().message()));
        };
        activate();
        int shown = 0;
        instance.setActivate([&] { ++shown; });
        QCOMPARE(shown, 1);
        activate();
        QCOMPARE(shown, 2);
        QDBusConnection::disconnectFromBus(name);
    }

    void theDataFilesAreLeftAsTheyWere() {
        QVERIFY(!listBefore.isEmpty());
        QCOMPARE(read(home() + "/.QuillboreSSH.lst"), listBefore);
        QCOMPARE(read(home() + "/.QuillboreSSH"), prefsBefore);
        QVERIFY(!QFile::exists(home() + "/desktop.conf"));
    }
};

QTEST_MAIN(GuiDesktopTest)
#include "gui_desktop_test.moc"
