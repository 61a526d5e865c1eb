// SPDX-License-Identifier: GPL-3.0-or-later
// Locking and unlocking through the lock button, with the operating system's authentication
// played by pam_wrapper and pam_matrix (the test's account has the password "quill-test").
#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "QtRunLoop.h"
#include "QuillboreApp.h"
#include "ServiceFormDialog.h"
#include "platform/PamAuthorizer.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/SyslogLog.h"

#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <memory>

using namespace gui_test;

class GuiLockTest : public QObject {
    Q_OBJECT

    QtRunLoop runLoop;
    PosixProcessLauncher launcher;
    SyslogLog log;
    PamAuthorizer authorizer;
    std::unique_ptr<QuillboreApp> app;

    AppWindows& ui() { return app->windows; }
    MainWindow& main() { return *app->windows.main; }
    bool locked() { return ui().lockButtons.image() == image::LockLocked; }

    // Clicks the padlock while the prompt is answered from the event loop.
    QString clickLockAnswering(std::optional<QString> password) {
        QString title;
        QPointer<QTimer> poll = answerPasswordPromptLater(password, &title);
        QTest::mouseClick(main().lockButton, Qt::LeftButton);
        delete poll.data();
        return title;
    }

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("PAM_WRAPPER_SERVICE_DIR"), "run through ctest");
        app = std::make_unique<QuillboreApp>(runLoop, launcher, log, authorizer);
        app->launch();
        QVERIFY(QTest::qWaitForWindowExposed(&main()));
        pressOK(ui().mainWindow); // the welcome alert
    }

    void cleanupTestCase() {
        app->controller.applicationWillTerminate();
        app.reset();
    }

    void lockingRefusesActions() {
        QVERIFY(!locked());
        QVERIFY(main().keepKeys->isEnabled());
        QTest::mouseClick(main().lockButton, Qt::LeftButton);
        QVERIFY(locked());
        QVERIFY(!main().keepKeys->isEnabled());
        QVERIFY(pressOK(ui().mainWindow).startsWith("This application is now locked"));

        QTest::mouseClick(main().addButton, Qt::LeftButton);
        QCOMPARE(pressOK(ui().mainWindow),
                 QString("This application is locked. You must authenticate before using "
                         "this feature."));
        QVERIFY(!ui().addForm()->isVisible());
    }

    void wrongPasswordOrCancelKeepsItLocked() {
        const QString title = clickLockAnswering(QString("not-the-password"));
        QVERIFY(!title.isEmpty());
        QVERIFY(locked());
        QVERIFY(!main().keepKeys->isEnabled());
        QVERIFY(!ui().mainWindow.currentAlert()); // no message for a refusal

        clickLockAnswering(std::nullopt);
        QVERIFY(locked());
        QVERIFY(!ui().mainWindow.currentAlert());
    }

    void rightPasswordUnlocks() {
        clickLockAnswering(QString("quill-test"));
        QVERIFY(!locked());
        QCOMPARE(ui().lockButtons.image(), std::string(image::LockUnlocked));
        QVERIFY(main().keepKeys->isEnabled());

        QTest::mouseClick(main().addButton, Qt::LeftButton);
        QTRY_VERIFY(ui().addForm()->isVisible());
        QVERIFY(!ui().mainWindow.currentAlert());
        QTest::mouseClick(ui().addForm()->cancelButton, Qt::LeftButton);
    }

    void keepKeysLocksWithoutTheWarning() {
        QTest::mouseClick(main().keepKeys, Qt::LeftButton);
        QVERIFY(main().keepKeys->isChecked());
        QTest::mouseClick(main().lockButton, Qt::LeftButton);
        QVERIFY(locked());
        QVERIFY(!ui().mainWindow.currentAlert());
        QVERIFY(main().keepKeys->isChecked());
        QVERIFY(!main().keepKeys->isEnabled());
    }
};

QTEST_MAIN(GuiLockTest)
#include "gui_lock_test.moc"
