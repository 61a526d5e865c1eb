// SPDX-License-Identifier: GPL-3.0-or-later
// The application as a user drives it, offscreen: add services through the add window,
// choose the own-command mode in the preferences, start and stop a service, edit one.
#include "FakeAuthorizer.h"
#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "PreferencesDialog.h"
#include "QtActivityIndicator.h"
#include "QtRunLoop.h"
#include "QuillboreApp.h"
#include "ServiceFormDialog.h"
#include "ServiceTableWidget.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/SyslogLog.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <memory>
#include <unistd.h>

using namespace gui_test;

class GuiAppTest : public QObject {
    Q_OBJECT

    QtRunLoop runLoop;
    PosixProcessLauncher launcher;
    SyslogLog log;
    FakeAuthorizer authorizer;
    std::unique_ptr<QuillboreApp> app;

    AppWindows& ui() { return app->windows; }
    MainWindow& main() { return *app->windows.main; }
    ServiceTableModel* table() { return ui().serviceList.model(); }

    void addService(const QString& server, const QString& port, const QString& forward,
                    bool socks) {
        QTest::mouseClick(main().addButton, Qt::LeftButton);
        ServiceFormDialog* form = ui().addForm();
        QVERIFY(form->isVisible());
        typeInto(form->serverAddress, server);
        typeInto(form->serverPort, port);
        typeInto(form->forwardInfo, forward);
        if (form->isSocks->isChecked() != socks) QTest::mouseClick(form->isSocks, Qt::LeftButton);
        QTest::mouseClick(form->okButton, Qt::LeftButton);
    }

private slots:
    void initTestCase() {
        app = std::make_unique<QuillboreApp>(runLoop, launcher, log, authorizer);
        app->launch();
        QVERIFY(QTest::qWaitForWindowExposed(&main()));
    }

    void cleanupTestCase() {
        app->controller.applicationWillTerminate();
        app.reset();
    }

    void launchNamesTheWindowAndWelcomes() {
        const QString marker = ::getuid() == 0 ? "#" : "$";
        QCOMPARE(main().windowTitle(),
                 QString("[%1] %2%3 ./QuillboreSSH").arg(home(), login(), marker));
        QMessageBox* welcome = ui().mainWindow.currentAlert();
        QVERIFY(welcome);
        QCOMPARE(welcome->text(), "Hey , " + login());
        QVERIFY(welcome->informativeText().startsWith("Thank you for installing my app!"));
        pressOK(ui().mainWindow);

        QCOMPARE(ui().lockButtons.image(), std::string(image::LockUnlocked));
        // Nothing to start, edit or remove in an empty list.
        for (QPushButton* b :
             {main().startButton, main().stopButton, main().editButton, main().removeButton})
            QVERIFY(!b->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(main().statusText->text(), QString("Idle..."), 3000);
        QVERIFY(!main().wheelie->isAnimating());
    }

    void addWindowAddsServicesWithTheirImages() {
        // A required field left empty: the alert sits on the add window, which stays open.
        QTest::mouseClick(main().addButton, Qt::LeftButton);
        ServiceFormDialog* form = ui().addForm();
        QCOMPARE(form->userName->text(), login());
        QCOMPARE(form->serverPort->text(), QString("8080"));
        QCOMPARE(form->userPassword->echoMode(), QLineEdit::Password);
        typeInto(form->serverAddress, "");
        QTest::mouseClick(form->okButton, Qt::LeftButton);
        QCOMPARE(pressOK(ui().addWindow), QString("Make sure you fill in all the boxes..."));
        QVERIFY(form->isVisible());
        QCOMPARE(table()->rowCount(), 0);

        addService("127.0.0.1", "9001", "127.0.0.1:80", false);
        QVERIFY(!form->isVisible());
        addService("127.0.0.1", "9002", "", true);

        QCOMPARE(table()->rowCount(), 2);
        QCOMPARE(cellText(table(), 0, 0), QString("127.0.0.1"));
        QCOMPARE(cellImage(table(), 0, 0), QString(image::StatusNone));
        QCOMPARE(cellText(table(), 0, 1), QString("127.0.0.1:80"));
        QCOMPARE(cellImage(table(), 0, 1), QString(image::RightTriangle));
        QCOMPARE(cellText(table(), 0, 2), QString("9001"));
        QCOMPARE(cellText(table(), 0, 3), QString("Idle..."));
        QCOMPARE(cellText(table(), 1, 1), QString("SOCKS"));
        QCOMPARE(cellImage(table(), 1, 1), QString(image::FollowLink));
        QCOMPARE(cellText(table(), 1, 2), QString("9002"));
        QCOMPARE(main().startButton->text(), QString("&Start Services"));
        QVERIFY(main().startButton->isEnabled());
        QVERIFY(QFile::exists(home() + "/.QuillboreSSH.lst"));
    }

    void preferencesChooseTheOwnCommand() {
        const QString script = scratch() + "/stay-alive.sh";
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nexec sleep 30\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        main().preferencesAction->trigger();
        PreferencesDialog* prefs = ui().preferences();
        QTRY_VERIFY(prefs->isVisible());
        QVERIFY(prefs->versionLabel->isVisible());
        QCOMPARE(prefs->versionLabel->text(), QString("QuillboreSSH " QB_BUILD_VERSION));
        QVERIFY(prefs->keyOption->isChecked());
        QVERIFY(!prefs->commandInfo->isEnabled());

        QTest::mouseClick(prefs->comOption, Qt::LeftButton);
        QVERIFY(prefs->comOption->isChecked());
        QVERIFY(!prefs->keyOption->isChecked());
        QVERIFY(prefs->commandInfo->isEnabled());
        typeInto(prefs->commandInfo, script);
        typeInto(prefs->commandArgs, "%u");
        QTest::mouseClick(prefs->saveButton, Qt::LeftButton);

        QVERIFY(!prefs->isVisible());
        QVERIFY(QFile::exists(home() + "/.QuillboreSSH"));
        QVERIFY(app->controller.use_my_command);
        QCOMPARE(app->controller.heres_my_command, script.toStdString());
        QCOMPARE(app->controller.heres_my_arguments, std::string("%u"));
    }

    void startAndStopOneService() {
        ServiceTableWidget* view = main().table;
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(view, 0));
        QCOMPARE(ui().serviceList.selectedRow(), 0L);
        QCOMPARE(main().startButton->text(), QString("&Start Service"));
        QVERIFY(main().editButton->isEnabled());

        QTest::mouseClick(main().startButton, Qt::LeftButton);
        QCOMPARE(cellText(table(), 0, 3), QString("Starting..."));
        QCOMPARE(cellImage(table(), 0, 0), QString(image::StatusPartiallyAvailable));
        QTRY_COMPARE_WITH_TIMEOUT(cellText(table(), 0, 3), QString("Running..."), 10000);
        QCOMPARE(cellImage(table(), 0, 0), QString(image::StatusAvailable));
        QCOMPARE(cellText(table(), 1, 3), QString("Idle..."));
        QTRY_COMPARE_WITH_TIMEOUT(main().statusText->text(),
                                  QString("1 Tunneling services are running..."), 3000);
        QVERIFY(main().wheelie->isAnimating());
        QVERIFY(!ui().mainWindow.currentAlert());
        QCOMPARE(ui().serviceList.selectedRow(), 0L); // the refresh keeps the selection

        QTest::mouseClick(main().stopButton, Qt::LeftButton);
        QCOMPARE(cellText(table(), 0, 3), QString("Idle..."));
        QCOMPARE(cellImage(table(), 0, 0), QString(image::StatusNone));
        QTRY_COMPARE_WITH_TIMEOUT(main().statusText->text(), QString("Idle..."), 3000);
        QVERIFY(!main().wheelie->isAnimating());
    }

    void doubleClickOpensTheEditWindow() {
        ServiceTableWidget* view = main().table;
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(view, 1));
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rowCentre(view, 1));
        ServiceFormDialog* form = ui().editForm();
        QTRY_VERIFY(form->isVisible());
        QCOMPARE(form->serverPort->text(), QString("9002"));
        QVERIFY(form->isSocks->isChecked());
        QVERIFY(!form->forwardInfo->isEnabled());
        QVERIFY(!form->reverseButton->isEnabled());

        typeInto(form->serverPort, "9003");
        QTest::mouseClick(form->cancelButton, Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QCOMPARE(cellText(table(), 1, 2), QString("9002"));

        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rowCentre(view, 1));
        QCOMPARE(form->focusWidget(),
                 form->serverAddress); // each opening starts here  // each opening starts here
        typeInto(form->serverPort, "9003");
        QTest::keyClick(form->serverPort, Qt::Key_Return); // OK is the default button
        QVERIFY(!form->isVisible());
        QCOMPARE(cellText(table(), 1, 2), QString("9003"));
        QCOMPARE(cellText(table(), 1, 1), QString("SOCKS"));
    }
};

QTEST_MAIN(GuiAppTest)
#include "gui_app_test.moc"
