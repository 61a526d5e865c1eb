// SPDX-License-Identifier: GPL-3.0-or-later
// The application's windows side by side, offscreen: an alert blocks only the window that
// shows it, repeated alerts do not pile up, an alert on the main window does not start the
// idle lock, and start-all in askpass mode leaves the windows live while it waits.
#include "ControllerFixture.h"
#include "FakeAuthorizer.h"
#include "FakeProcess.h"
#include "GuiTestSupport.h"
#include "LogWindow.h"
#include "MainWindow.h"
#include "PreferencesDialog.h"
#include "QtRunLoop.h"
#include "QuillboreApp.h"
#include "ServiceFormDialog.h"
#include "ServiceTableWidget.h"
#include "platform/SyslogLog.h"

#include <QCheckBox>
#include <QPushButton>
#include <memory>

using namespace gui_test;

namespace {

// A click delivered the way the window system delivers it, to the window at the widget's
// position: a window blocked by a modal alert does not get it.
void click(QWidget* w, QPoint at = {}) {
    if (at.isNull()) at = w->rect().center();
    QWidget* window = w->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, w->mapTo(window, at));
}

void activate(QWidget* w) {
    w->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), w);
}

} // namespace

class GuiWindowsTest : public QObject {
    Q_OBJECT

    QtRunLoop runLoop;
    FakeLauncher launcher;
    SyslogLog log;
    FakeAuthorizer authorizer;
    FixedSshConfig sshConfig;
    std::unique_ptr<QuillboreApp> app;

    AppWindows& ui() { return app->windows; }
    MainWindow& main() { return *app->windows.main; }
    QuillboreDel& controller() { return app->controller; }
    ServiceTableModel* table() { return ui().serviceList.model(); }

    void addService(const QString& server) {
        click(main().addButton);
        ServiceFormDialog* form = ui().addForm();
        QVERIFY(form->isVisible());
        typeInto(form->serverAddress, server);
        typeInto(form->serverPort, "8080");
        if (!form->isSocks->isChecked()) click(form->isSocks);
        click(form->okButton);
        QVERIFY(!form->isVisible());
    }

    void selectRow(int row) { click(main().table->viewport(), rowCentre(main().table, row)); }

private slots:
    void initTestCase() {
        app = std::make_unique<QuillboreApp>(runLoop, launcher, log, authorizer);
        app->controller.sshConfig = &sshConfig; // no ssh -G through the scripted launcher
        app->launch();
        QVERIFY(QTest::qWaitForWindowExposed(&main()));
        pressOK(ui().mainWindow); // the welcome alert
        addService("alpha");
        addService("beta");
        QCOMPARE(table()->rowCount(), 2);
    }

    void cleanupTestCase() {
        app->controller.applicationWillTerminate();
        app.reset();
    }

    void dialogsAreWindowsOfTheirOwn() {
        const QList<QWidget*> dialogs{ui().addForm(), ui().editForm(), ui().preferences(),
                                      ui().logView()};
        for (QWidget* w : dialogs) {
            QVERIFY(w->isWindow());
            QVERIFY(!w->parentWidget());
            QVERIFY(!w->testAttribute(Qt::WA_QuitOnClose)); // closing main alone ends the app
        }
        // Opened once (by initTestCase): centred over the main window.
        const QPoint offset =
            ui().addForm()->frameGeometry().center() - main().frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2, qPrintable(QString::number(offset.x())));
    }

    // A tunnel's alert on the main window while the edit form is open: the form still takes
    // clicks and typing, and its OK applies; the main window itself waits for OK.
    void alertOnTheMainWindowLeavesTheEditFormUsable() {
        selectRow(1);
        click(main().editButton);
        ServiceFormDialog* form = ui().editForm();
        QVERIFY(form->isVisible());
        click(main().stopButton); // not running: an alert
        QMessageBox* alert = ui().mainWindow.currentAlert();
        QVERIFY(alert);
        QCOMPARE(QApplication::activeModalWidget(), alert);

        click(main().addButton);
        QVERIFY(!ui().addForm()->isVisible()); // the main window is blocked

        activate(form);
        const bool socks = form->isSocks->isChecked();
        click(form->isSocks);
        QCOMPARE(form->isSocks->isChecked(), !socks);
        click(form->isSocks);
        form->serverAddress->setFocus();
        form->serverAddress->selectAll();
        for (char c : std::string("gamma")) // through the window, as typed
            QTest::keyClick(form->windowHandle(), c);
        QCOMPARE(form->serverAddress->text(), QStringLiteral("gamma"));
        click(form->okButton);
        QVERIFY(!form->isVisible());
        QCOMPARE(cellText(table(), 1, 0), QStringLiteral("gamma"));

        QCOMPARE(ui().mainWindow.currentAlert(), alert);
        QVERIFY(pressOK(ui().mainWindow).startsWith("Service is already not running."));
    }

    // And the other way round: an alert on the add window leaves the main window usable.
    void alertOnTheAddWindowLeavesTheMainWindowUsable() {
        click(main().addButton);
        ServiceFormDialog* form = ui().addForm();
        typeInto(form->serverAddress, "");
        click(form->okButton);
        QVERIFY(ui().addWindow.currentAlert());

        const bool socks = form->isSocks->isChecked();
        click(form->isSocks);
        QCOMPARE(form->isSocks->isChecked(), socks); // the add window is blocked

        activate(&main());
        selectRow(0);
        QCOMPARE(ui().serviceList.selectedRow(), 0L);
        click(main().editButton);
        QVERIFY(ui().editForm()->isVisible());
        QCOMPARE(ui().editForm()->serverAddress->text(), QStringLiteral("alpha"));
        click(ui().editForm()->cancelButton);

        QCOMPARE(pressOK(ui().addWindow), QStringLiteral("Make sure you fill in all the boxes..."));
        click(form->cancelButton);
        QVERIFY(!form->isVisible());
    }

    // A service that fails at every reconnection reports "Failed..." again and again.
    void repeatedFailuresShowOneAlert() {
        SSHTunnel& tunnel = *controller().theServiceList->at(0).service;
        for (int i = 0; i < 20; ++i)
            controller().updateMyStatus("Failed...", tunnel);
        QVERIFY(ui().mainWindow.currentAlert());
        QCOMPARE(ui().mainWindow.queuedAlerts(), std::size_t{0});
        QVERIFY(pressOK(ui().mainWindow).startsWith("It appears a tunnel service has failed."));
        QVERIFY(!ui().mainWindow.currentAlert());
        controller().updateMyStatus("Failed...", tunnel); // dismissed: the next one shows
        QVERIFY(pressOK(ui().mainWindow).startsWith("It appears a tunnel service has failed."));
    }

    // The idle count starts only when the user leaves the main window, not for its alert.
    void alertOnTheMainWindowDoesNotStartTheIdleLock() {
        activate(&main());
        QVERIFY(!controller().lockTimer);
        selectRow(0);
        click(main().stopButton);
        QMessageBox* alert = ui().mainWindow.currentAlert();
        QVERIFY(alert);
        activate(alert);
        QVERIFY(!controller().lockTimer);
        pressOK(ui().mainWindow);
        QTRY_COMPARE(QApplication::activeWindow(), &main());
        QVERIFY(!controller().lockTimer);

        click(main().addButton); // another window of ours
        activate(ui().addForm());
        QVERIFY(controller().lockTimer);
        click(ui().addForm()->cancelButton);
        activate(&main());
        QVERIFY(!controller().lockTimer);
    }

    // Start-all in askpass mode starts one service every 2 s from the run loop: the window
    // answers at once meanwhile (the alert announcing the wait takes its OK), and Stop all
    // ends the chain.
    void askpassStartAllLeavesTheWindowLive() {
        controller().use_ssh_askpass = true;
        controller().has_prompt = true; // no askpass file
        QTRY_COMPARE(main().statusText->text(), QStringLiteral("Idle..."));
        click(main().table->viewport(), QPoint(10, main().table->viewport()->height() - 5));
        QCOMPARE(ui().serviceList.selectedRow(), -1L);

        click(main().startButton);
        QCOMPARE(launcher.children.size(), std::size_t{1});
        QVERIFY(pressOK(ui().mainWindow).startsWith("There will be a slight delay"));
        QCOMPARE(launcher.children.size(), std::size_t{1});
        QTRY_COMPARE_WITH_TIMEOUT(launcher.children.size(), std::size_t{2}, 5000);

        controller().use_ssh_askpass = false;
        click(main().stopButton);
    }
};

QTEST_MAIN(GuiWindowsTest)
#include "gui_windows_test.moc"
