// SPDX-License-Identifier: GPL-3.0-or-later
// Why a service failed, as the user sees it in the real widgets: the child's words under the
// failure alert, in the row's tooltip and in the log window (Services > Show Log), the mark of a
// forward that nothing accepts, and the password nowhere. The children are small scripts run
// as the own command, so no server is needed.
#include "FakeAuthorizer.h"
#include "GuiTestSupport.h"
#include "LogWindow.h"
#include "MainWindow.h"
#include "PreferencesDialog.h"
#include "QtRunLoop.h"
#include "QuillboreApp.h"
#include "ServiceFormDialog.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/SyslogLog.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>
#include <memory>

using namespace gui_test;

namespace {

const QString kPassword = QStringLiteral("gui-Secret-9");
const QString kRefused = QStringLiteral("ssh: connect to host db port 22: Connection refused");
const QString kFailed = QStringLiteral(
    "It appears a tunnel service has failed. Check your password and/or internet connection. If "
    "you have not connected via ssh before you will need to do so and generate the key file "
    "before this app will work. If you don't have a RSK key for the server you will need to use "
    "a command line utility to manage the passwords like sshpass.");

long residentKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace

class GuiLogTest : public QObject {
    Q_OBJECT

    QtRunLoop runLoop;
    PosixProcessLauncher launcher;
    SyslogLog log;
    FakeAuthorizer authorizer;
    std::unique_ptr<QuillboreApp> app;
    // A port that nothing accepts on.
    int silentPort = 0;

    AppWindows& ui() { return app->windows; }
    MainWindow& main() { return *app->windows.main; }
    ServiceTableModel* table() { return ui().serviceList.model(); }
    LogWindow& logView() { return *app->windows.logView(); }

    void addSocks(const QString& server, const QString& port) {
        QTest::mouseClick(main().addButton, Qt::LeftButton);
        ServiceFormDialog* form = ui().addForm();
        typeInto(form->serverAddress, server);
        typeInto(form->serverPort, port);
        typeInto(form->userPassword, kPassword);
        if (!form->isSocks->isChecked()) QTest::mouseClick(form->isSocks, Qt::LeftButton);
        QTest::mouseClick(form->okButton, Qt::LeftButton);
    }

    void startRow(int row) {
        QTest::mouseClick(main().table->viewport(), Qt::LeftButton, {},
                          rowCentre(main().table, row));
        QTest::mouseClick(main().startButton, Qt::LeftButton);
    }

    // Every text that a window shows, password fields aside.
    QStringList shownTexts() {
        QStringList texts;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            for (auto* e : top->findChildren<QLineEdit*>())
                if (e->echoMode() == QLineEdit::Normal) texts << e->text();
            for (auto* e : top->findChildren<QPlainTextEdit*>())
                texts << e->toPlainText();
            for (auto* e : top->findChildren<QTextEdit*>())
                texts << e->toPlainText();
            for (auto* e : top->findChildren<QLabel*>())
                texts << e->text();
        }
        for (int row = 0; row < table()->rowCount(); ++row)
            for (int column = 0; column < ServiceTableModel::kColumns; ++column)
                texts << table()->index(row, column).data(Qt::ToolTipRole).toString();
        return texts;
    }

private slots:
    void initTestCase() {
        app = std::make_unique<QuillboreApp>(runLoop, launcher, log, authorizer);
        app->launch();
        QVERIFY(QTest::qWaitForWindowExposed(&main()));
        while (ui().mainWindow.currentAlert())
            pressOK(ui().mainWindow);

        // The service named "db" fails at once with ssh's words (and, carelessly, the
        // password); any other runs on without listening anywhere.
        const QString script = scratch() + "/tunnel.sh";
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/sh\ncase \"$1\" in *@flood)\n"
                                  "  yes 'flooding the window with many words, line after line' |"
                                  " head -c 100000000; exec sleep 60;;\n"
                                  "*@db)\n"
                                  "  echo 'debug1: reading configuration'\n"
                                  "  echo 'password was %1' >&2\n"
                                  "  echo '%2' >&2; exit 255;;\nesac\nexec sleep 60\n")
                       .arg(kPassword, kRefused)
                       .toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        main().preferencesAction->trigger();
        PreferencesDialog* prefs = ui().preferences();
        QTest::mouseClick(prefs->comOption, Qt::LeftButton);
        typeInto(prefs->commandInfo, script);
        typeInto(prefs->commandArgs, "%u@%h");
        QTest::mouseClick(prefs->saveButton, Qt::LeftButton);

        silentPort = freePort();
        QVERIFY(silentPort > 0);
    }

    void cleanupTestCase() {
        app->controller.applicationWillTerminate();
        app.reset();
    }

    void failureAlertShowsSshsWordsUnderItsText() {
        addSocks("db", "1081");
        startRow(0);
        QTRY_VERIFY_WITH_TIMEOUT(ui().mainWindow.currentAlert(), 8000);
        QMessageBox* box = ui().mainWindow.currentAlert();
        QCOMPARE(box->informativeText(), kFailed);
        QVERIFY(box->detailedText().endsWith(kRefused));
        QVERIFY(box->detailedText().contains("password was ********"));
        // The detail is open, not behind a button.
        QTextEdit* detail = box->findChild<QTextEdit*>();
        QVERIFY(detail);
        QTRY_VERIFY(detail->isVisible());
        QVERIFY(!shownTexts().join('\n').contains(kPassword));
        pressOK(ui().mainWindow);
        QCOMPARE(cellText(table(), 0, 3), QString("Failed..."));
    }

    void rowTooltipShowsTheLastLineAndWhen() {
        const QString tip = table()->index(0, 3).data(Qt::ToolTipRole).toString();
        QVERIFY2(tip.startsWith("Last output, at "), qPrintable(tip));
        QVERIFY(tip.endsWith(kRefused));
        // The kind column keeps its own tooltip first.
        QVERIFY(table()->index(0, 1).data(Qt::ToolTipRole).toString().startsWith("SOCKS proxy\n"));
    }

    void aForwardNothingAcceptsIsMarked() {
        addSocks("bastion", QString::number(silentPort));
        startRow(1);
        QTRY_COMPARE_WITH_TIMEOUT(cellImage(table(), 1, 3), QString(image::Caution), 10000);
        QCOMPARE(cellText(table(), 1, 3), QString("Running..."));
        QVERIFY(table()
                    ->index(1, 3)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .startsWith(QString("nothing accepts connections on port %1; see the log")
                                    .arg(silentPort)));
        QCOMPARE(cellImage(table(), 0, 3), QString());
    }

    void showLogHoldsEveryServicesLinesAndFilters() {
        QCOMPARE(main().showLogAction->shortcut(), QKeySequence("Ctrl+Shift+L"));
        main().showLogAction->trigger();
        QTRY_VERIFY(logView().isVisible());
        QCOMPARE(main().showLogAction->text().remove('&'), QString("Show Log"));
        const QString all = logView().text->toPlainText();
        QVERIFY(all.contains("db  SOCKS :1081  | " + kRefused));
        QVERIFY(all.contains("db  SOCKS :1081  * status Failed..."));
        QVERIFY(all.contains("db  SOCKS :1081  | password was ********"));
        const QString bastion = "bastion  SOCKS :" + QString::number(silentPort);
        QVERIFY(all.contains(bastion + "  * nothing accepts connections"));
        QVERIFY(!all.contains(kPassword));
        // Newest last.
        QVERIFY(all.indexOf("db  SOCKS :1081  * status Failed...") < all.indexOf(bastion));

        const int index = logView().filter->findText(bastion);
        QVERIFY(index > 0);
        logView().filter->setCurrentIndex(index);
        const QString filtered = logView().text->toPlainText();
        QVERIFY(filtered.contains(bastion + "  * start (pid "));
        QVERIFY(!filtered.contains("db  SOCKS :1081"));

        QTest::mouseClick(logView().copyButton, Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), filtered);

        logView().filter->setCurrentIndex(0);
        QCOMPARE(logView().text->toPlainText(), all);
        QTest::mouseClick(logView().clearButton, Qt::LeftButton);
        QCOMPARE(logView().text->toPlainText(), QString());
        QVERIFY(app->controller.activityLog.entries().empty());
        QTest::mouseClick(logView().closeButton, Qt::LeftButton);
        QVERIFY(!logView().isVisible());

        // What comes while the window is closed is there when it opens again.
        app->controller.stopAll(&ui().mainWindow);
        main().showLogAction->trigger();
        QTRY_VERIFY(logView().isVisible());
        QVERIFY(logView().text->toPlainText().contains(bastion + "  * stop"));
        QTest::mouseClick(logView().closeButton, Qt::LeftButton);
    }

    // 100 MB of output through the Qt event loop: the application keeps what it bounds.
    void aFloodingChildCostsBoundedMemory() {
        const long before = residentKiB();
        addSocks("flood", "1082");
        startRow(2);
        const auto& list = *app->controller.theServiceList;
        QTRY_VERIFY_WITH_TIMEOUT(list.at(2).service->output().totalLines() > 1'800'000, 60000);
        const TunnelOutput& out = list.at(2).service->output();
        QCOMPARE(out.lines().size(), TunnelOutput::kMaxLines);
        QVERIFY(out.retainedBytes() < TunnelOutput::kMaxLines * 100);
        QVERIFY(app->controller.activityLog.entries().size() <= ActivityLog::kMaxEntries);
        QVERIFY(logView().text->blockCount() <= static_cast<int>(ActivityLog::kMaxEntries));
        const long grown = residentKiB() - before;
        QVERIFY2(grown < 40 * 1024, qPrintable(QString("grew by %1 KiB").arg(grown)));
    }

    void theLockRefusesTheLogWindow() {
        QTest::mouseClick(main().lockButton, Qt::LeftButton);
        pressOK(ui().mainWindow); // "now locked"
        main().showLogAction->trigger();
        QCOMPARE(pressOK(ui().mainWindow),
                 QString("This application is locked. You must authenticate before using "
                         "this feature."));
        QVERIFY(!logView().isVisible());
    }
};

QTEST_MAIN(GuiLogTest)
#include "gui_log_test.moc"
