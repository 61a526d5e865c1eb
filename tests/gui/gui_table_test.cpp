// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's table and forms as a user meets them, offscreen: a fresh application for
// every case, with saved services, scripted children (no ssh runs) and the real Qt windows.
#include "CapturingLog.h"
#include "ControllerFixture.h"
#include "FakeAuthorizer.h"
#include "FakeProcess.h"
#include "GuiTestSupport.h"
#include "KeyFilesDialog.h"
#include "LogWindow.h"
#include "MainWindow.h"
#include "PreferencesDialog.h"
#include "QtRunLoop.h"
#include "QuillboreApp.h"
#include "ServiceFormDialog.h"
#include "ServiceTableWidget.h"
#include "store/Cipher.h"
#include "store/ServiceListFormat.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <functional>
#include <memory>

using namespace gui_test;

#define VERIFY_BUTTONS(editRemove, start)                                                          \
    do {                                                                                           \
        const QByteArray differ = buttonsDiffer(editRemove, start);                                \
        QVERIFY2(differ.isEmpty(), differ.constData());                                            \
    } while (0)

namespace {

void writeHomeFile(const QString& name, const std::string& content) {
    QFile file(home() + "/" + name);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content.data(), static_cast<qint64>(content.size()));
}

std::string readHomeFile(const QString& name) {
    QFile file(home() + "/" + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

// Saved services on listen ports 9001, 9002, ... (one SOCKS proxy each).
void saveServices(int count) {
    std::vector<servicelist::Record> records;
    for (int i = 1; i <= count; ++i)
        records.push_back({"127.0.0.1", std::to_string(9000 + i), "u", "", "SOCKS"});
    writeHomeFile(".QuillboreSSH.lst",
                  cipher::encryptString(servicelist::encode(records), login().toStdString()));
}

} // namespace

class GuiTableTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QtRunLoop> runLoop;
    FakeLauncher launcher;
    CapturingLog log;
    FakeAuthorizer authorizer;
    FixedSshConfig sshConfig;
    std::unique_ptr<QuillboreApp> app;

    AppWindows& ui() { return app->windows; }
    MainWindow& main() { return *app->windows.main; }
    ServiceTableWidget* view() { return main().table; }
    ServiceTableModel* table() { return ui().serviceList.model(); }

    void launchWith(int services) {
        if (services > 0)
            saveServices(services);
        else
            QFile::remove(home() + "/.QuillboreSSH.lst");
        runLoop = std::make_unique<QtRunLoop>();
        app = std::make_unique<QuillboreApp>(*runLoop, launcher, log, authorizer);
        app->controller.sshConfig = &sshConfig; // no ssh -G through the scripted launcher
        app->launch();
        QVERIFY(QTest::qWaitForWindowExposed(&main()));
        if (services == 0) pressOK(ui().mainWindow); // the welcome alert
    }

    void clickRow(int row) {
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, rowCentre(view(), row));
    }

    QStringList ports() {
        QStringList out;
        for (int r = 0; r < table()->rowCount(); ++r)
            out << cellText(table(), r, 2);
        return out;
    }

    // Edit and Remove enabled as given, and the start button's title; the state seen, if not.
    QByteArray buttonsDiffer(bool editRemove, const QString& start) {
        const QString seen = QString("edit %1, remove %2, start \"%3\"")
                                 .arg(main().editButton->isEnabled())
                                 .arg(main().removeButton->isEnabled())
                                 .arg(QString::fromStdString(ui().startButton.title()));
        const bool same = main().editButton->isEnabled() == editRemove &&
                          main().removeButton->isEnabled() == editRemove &&
                          ui().startButton.title() == start.toStdString();
        return same ? QByteArray() : seen.toUtf8();
    }

    // A right click on the row, then the item of the menu that opens.
    void chooseFromRowMenu(int row, QAction* item) {
        const QPoint at = rowCentre(view(), row);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view()->viewport(), &event);
        QMenu* menu = main().rowMenu;
        QTRY_VERIFY(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
        QTRY_VERIFY(!menu->isVisible());
    }

    QAccessibleInterface* accessible(QObject* object) {
        return QAccessible::queryAccessibleInterface(object);
    }

    // The windows other than the main one that exist now, by name, sorted.
    static QStringList builtWindows() {
        QStringList names;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (QStringList{"addWindow", "editWindow", "aboutWindow", "keyWindow", "logWindow"}
                    .contains(w->objectName()))
                names << w->objectName();
        names.sort();
        return names;
    }

private slots:
    void init() {
        QFile::remove(home() + "/.QuillboreSSH");
        launcher.children.clear();
    }

    void cleanup() {
        if (app) app->controller.applicationWillTerminate();
        app.reset();
        runLoop.reset();
    }

    // --- The status line and start-all right after launch ------------------------------

    void startAllRightAfterLaunchStartsEveryService() {
        launchWith(2);
        // Before the first one-second refresh.
        QCOMPARE(main().statusText->text(), QString("Idle..."));
        QTest::mouseClick(main().startButton, Qt::LeftButton);
        QVERIFY(!ui().mainWindow.currentAlert());
        QCOMPARE(cellText(table(), 0, 3), QString("Starting..."));
        QCOMPARE(cellText(table(), 1, 3), QString("Starting..."));
        QCOMPARE(launcher.launchedWith("/usr/bin/ssh").size(), std::size_t{2});
    }

    // --- Windows built on first use ----------------------------------------------------

    // Supervising (start, status refreshes, lock and unlock, stop) builds no window but the
    // main one, and hiding a window never built builds nothing. A control of another window,
    // used first through its adapter, builds that window and holds what was set; the log
    // window built late shows what was logged before. However a window was built, its own
    // adapter follows it from the start (here: its activation).
    void otherWindowsAreBuiltOnFirstUse() {
        launchWith(2);
        QTest::mouseClick(main().keepKeys, Qt::LeftButton); // no alert when locking
        QTest::mouseClick(main().startButton, Qt::LeftButton);
        app->controller.updateStatus(); // what the one-second status timer does
        QTest::mouseClick(main().lockButton, Qt::LeftButton);
        QTest::mouseClick(main().lockButton, Qt::LeftButton);
        clickRow(0);
        QTest::mouseClick(main().stopButton, Qt::LeftButton);
        for (QtWindow* w : {&ui().addWindow, &ui().editWindow, &ui().aboutWindow, &ui().keyWindow,
                            &ui().logWindow})
            w->orderOut();
        QCOMPARE(builtWindows(), QStringList());

        struct Case {
            QtWindow& adapter;
            std::function<QWidget*()> window;
            QStringList builds;
            std::function<void()> use;
            std::function<bool()> holds;
        };
        const Case cases[] = {
            {ui().addWindow,
             [&] { return ui().addForm(); },
             {"addWindow"},
             [&] { ui().serverAddress.setStringValue("db.example"); },
             [&] {
                 return ui().addForm()->serverAddress->text() == "db.example" &&
                        ui().serverAddress.stringValue() == "db.example";
             }},
            {ui().editWindow,
             [&] { return ui().editForm(); },
             {"editWindow"},
             [&] { ui().eisSocks.setState(1); },
             [&] { return ui().editForm()->isSocks->isChecked() && ui().eisSocks.state() == 1; }},
            // The key-file editor is part of the preferences window.
            {ui().aboutWindow,
             [&] { return ui().preferences(); },
             {"aboutWindow", "keyWindow"},
             [&] { ui().keyFiles.setString("/k/one\n/k/two"); },
             [&] { return ui().keyEditor()->keyFiles->toPlainText() == "/k/one\n/k/two"; }},
            {ui().logWindow,
             [&] { return ui().logView(); },
             {"logWindow"},
             [&] { ui().logWindow.makeKeyAndOrderFront(); },
             [&] {
                 return ui().logView()->isVisible() &&
                        ui().logView()->text->toPlainText().contains("* stop");
             }},
        };
        QStringList built;
        for (const Case& c : cases) {
            int activations = 0;
            c.adapter.onActivate = [&activations] { ++activations; };
            c.use();
            built += c.builds;
            built.sort();
            QCOMPARE(builtWindows(), built);
            QVERIFY2(c.holds(), qPrintable(c.builds.join(' ')));
            QWidget* window = c.window();
            window->show();
            window->activateWindow();
            QTRY_VERIFY2(activations > 0, qPrintable(c.builds.join(' ')));
            c.adapter.onActivate = nullptr;
        }
    }

    // --- The button rule when a removal drops the selection ----------------------------

    void removingTheSelectedLastRowLeavesNoRowSelected() {
        launchWith(3);
        clickRow(2);
        VERIFY_BUTTONS(true, "Start Service");
        QTest::mouseClick(main().removeButton, Qt::LeftButton);

        QCOMPARE(ports(), QStringList({"9001", "9002"}));
        QCOMPARE(ui().serviceList.selectedRow(), -1L);
        VERIFY_BUTTONS(false, "Start Services");
        // The status refresh does not bring a selection back.
        app->controller.updateStatus();
        QCOMPARE(ui().serviceList.selectedRow(), -1L);
        VERIFY_BUTTONS(false, "Start Services");

        // What the title says is what Start does: every service starts.
        QTest::mouseClick(main().startButton, Qt::LeftButton);
        QCOMPARE(cellText(table(), 0, 3), QString("Starting..."));
        QCOMPARE(cellText(table(), 1, 3), QString("Starting..."));

        // A new service takes the remembered row, and the refresh selects it: the buttons
        // follow that selection too.
        QTest::mouseClick(main().addButton, Qt::LeftButton);
        QTest::mouseClick(ui().addForm()->okButton, Qt::LeftButton);
        QCOMPARE(table()->rowCount(), 3);
        VERIFY_BUTTONS(false, "Start Services");
        app->controller.updateStatus();
        QCOMPARE(ui().serviceList.selectedRow(), 2L);
        VERIFY_BUTTONS(true, "Start Service");
    }

    // A burst of changes in one turn of the event loop (Start all, then removing the selected
    // last row) reads right at once, on screen or off it, before the table has asked for its
    // cells again; the file holds the list at once; after the turn every row is right.
    void aBurstOfChangesReadsRightBeforeAndAfterTheTurn() {
        launchWith(60);
        view()->scrollToBottom();
        clickRow(59);
        VERIFY_BUTTONS(true, "Start Service");
        QAccessibleTableInterface* cells = accessible(view())->tableInterface();
        QVERIFY(cells);

        QVERIFY(app->controller.startAll(&ui().mainWindow) == QuillboreDel::Refusal::None);
        QTest::mouseClick(main().removeButton, Qt::LeftButton);

        QCOMPARE(table()->rowCount(), 59);
        QCOMPARE(ui().serviceList.selectedRow(), -1L);
        VERIFY_BUTTONS(false, "Start Services");
        const auto saved = servicelist::decode(
            cipher::decryptString(readHomeFile(".QuillboreSSH.lst"), login().toStdString()));
        QCOMPARE(saved.records.size(), std::size_t{59});
        QCOMPARE(saved.records.back().listenPort, std::string("9059"));
        QCOMPARE(cells->cellAt(0, 0)->text(QAccessible::Description), QString("Starting..."));
        QCOMPARE(cellText(table(), 58, 3), QString("Starting..."));

        QCoreApplication::sendPostedEvents();
        view()->scrollToTop();
        (void)view()->viewport()->grab();
        for (int row = 0; row < table()->rowCount(); ++row) {
            QCOMPARE(cellText(table(), row, 2), QString::number(9001 + row));
            QCOMPARE(cellText(table(), row, 3), QString("Starting..."));
            QCOMPARE(cellImage(table(), row, 0), QString(image::StatusPartiallyAvailable));
        }
    }

    void removingTheOnlyRowDisablesEditAndRemove() {
        launchWith(1);
        clickRow(0);
        VERIFY_BUTTONS(true, "Start Service");
        QTest::mouseClick(main().removeButton, Qt::LeftButton);
        QCOMPARE(table()->rowCount(), 0);
        VERIFY_BUTTONS(false, "Start Service");
        QVERIFY(!main().startButton->isEnabled());
        QVERIFY(!main().stopButton->isEnabled());
    }

    // --- The edit window and rows that move while it is open ---------------------------

    void editOkChangesTheServiceItWasOpenedFor() {
        launchWith(3);
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, rowCentre(view(), 1));
        ServiceFormDialog* form = ui().editForm();
        QTRY_VERIFY(form->isVisible());
        QCOMPARE(form->serverPort->text(), QString("9002"));
        typeInto(form->serverPort, "19002");

        // The main window stays usable: the row above goes meanwhile.
        clickRow(0);
        QTest::mouseClick(main().removeButton, Qt::LeftButton);
        QCOMPARE(ports(), QStringList({"9002", "9003"}));

        QTest::mouseClick(form->okButton, Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QCOMPARE(ports(), QStringList({"19002", "9003"}));
    }

    void editOkForARemovedServiceChangesNothing() {
        launchWith(2);
        clickRow(0);
        QTest::mouseClick(main().editButton, Qt::LeftButton);
        ServiceFormDialog* form = ui().editForm();
        QTRY_VERIFY(form->isVisible());
        typeInto(form->serverPort, "19001");

        clickRow(0);
        QTest::mouseClick(main().removeButton, Qt::LeftButton);
        QTest::mouseClick(form->okButton, Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QCOMPARE(ports(), QStringList({"9002"}));
        QVERIFY(!ui().editWindow.currentAlert());
    }

    // --- Preferences Cancel --------------------------------------------------------------

    void preferencesCancelDropsTheEdits() {
        launchWith(0);
        PreferencesDialog* prefs = ui().preferences();
        main().preferencesAction->trigger();
        QTRY_VERIFY(prefs->isVisible());
        QTest::mouseClick(prefs->askPass, Qt::LeftButton);
        QTest::mouseClick(prefs->saveButton, Qt::LeftButton);
        QVERIFY(!prefs->isVisible());
        const std::string saved = readHomeFile(".QuillboreSSH");
        QCOMPARE(cipher::decryptString(saved, "529"),
                 std::string("0\r\n0\r\n1\r\n0\r\n\r\n\r\n0\r\n\r\n"));

        // Change everything, then Cancel.
        main().preferencesAction->trigger();
        QTRY_VERIFY(prefs->isVisible());
        QTest::mouseClick(prefs->comOption, Qt::LeftButton);
        typeInto(prefs->commandInfo, "/bin/abandoned");
        QTest::mouseClick(prefs->reconOption, Qt::LeftButton);
        QTest::mouseClick(prefs->cancelButton, Qt::LeftButton);
        QVERIFY(!prefs->isVisible());

        // Reopened, the window shows the file; the edits do not come back with Escape either.
        main().preferencesAction->trigger();
        QTRY_VERIFY(prefs->isVisible());
        QVERIFY(prefs->askPass->isChecked());
        QVERIFY(!prefs->comOption->isChecked());
        QVERIFY(prefs->usePrompt->isEnabled());
        QVERIFY(!prefs->commandInfo->isEnabled());
        QCOMPARE(prefs->commandInfo->text(), QString());
        QVERIFY(!prefs->reconOption->isChecked());
        QTest::mouseClick(prefs->reconOption, Qt::LeftButton);
        QTest::keyClick(prefs, Qt::Key_Escape);
        QVERIFY(!prefs->isVisible());

        main().preferencesAction->trigger();
        QTRY_VERIFY(prefs->isVisible());
        QVERIFY(!prefs->reconOption->isChecked());
        QTest::mouseClick(prefs->saveButton, Qt::LeftButton);
        QCOMPARE(readHomeFile(".QuillboreSSH"), saved);
    }

    // --- The add form ----------------------------------------------------------------------

    void typingIntoANewAddFormReplacesThePreset() {
        launchWith(0);
        ServiceFormDialog* form = ui().addForm();
        QTest::mouseClick(main().addButton, Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowActive(form));
        QCOMPARE(QApplication::focusWidget(), form->serverAddress);
        QCOMPARE(form->serverAddress->text(), QString("localhost"));
        QTest::keyClicks(nullptr, "myhost"); // to whatever has the keyboard focus
        QCOMPARE(form->serverAddress->text(), QString("myhost"));

        // Add again while the form is open: the preset is back, selected again.
        QTest::mouseClick(main().addButton, Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowActive(form));
        QTest::keyClicks(nullptr, "other");
        QCOMPARE(form->serverAddress->text(), QString("other"));
        QCOMPARE(form->serverPort->text(), QString("8080"));
    }

    // --- Keyboard, context menu and accessibility ----------------------------------------

    void deleteKeyRemovesTheSelectedService() {
        launchWith(3);
        QTest::keyClick(view(), Qt::Key_Delete); // nothing selected: nothing removed
        QCOMPARE(table()->rowCount(), 3);
        QVERIFY(!ui().mainWindow.currentAlert());

        clickRow(1);
        QTest::keyClick(view(), Qt::Key_Delete);
        QCOMPARE(ports(), QStringList({"9001", "9003"}));

        ui().lockButtons.setImage(image::LockLocked);
        clickRow(0);
        QTest::keyClick(view(), Qt::Key_Delete);
        QCOMPARE(pressOK(ui().mainWindow), QString(QuillboreDel::kLockedMessage));
        QCOMPARE(table()->rowCount(), 2);
        ui().lockButtons.setImage(image::LockUnlocked);
    }

    void rowMenuActsOnTheRowUnderTheCursor() {
        launchWith(3);
        clickRow(0);
        chooseFromRowMenu(2, main().startRowAction);
        QCOMPARE(ui().serviceList.selectedRow(), 2L);
        QCOMPARE(app->controller.selectedRow, std::int64_t{2});
        VERIFY_BUTTONS(true, "Start Service");
        QCOMPARE(cellText(table(), 2, 3), QString("Starting..."));
        QCOMPARE(cellText(table(), 0, 3), QString("Idle..."));

        chooseFromRowMenu(2, main().stopRowAction);
        QCOMPARE(cellText(table(), 2, 3), QString("Idle..."));

        chooseFromRowMenu(1, main().editRowAction);
        QTRY_VERIFY(ui().editForm()->isVisible());
        QCOMPARE(ui().editForm()->serverPort->text(), QString("9002"));
        QTest::mouseClick(ui().editForm()->cancelButton, Qt::LeftButton);

        chooseFromRowMenu(0, main().removeRowAction);
        QCOMPARE(ports(), QStringList({"9002", "9003"}));

        // Below the rows there is no row to act on: no menu.
        const QPoint below(10, view()->viewport()->height() - 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, below,
                                view()->viewport()->mapToGlobal(below));
        QApplication::sendEvent(view()->viewport(), &event);
        QVERIFY(!main().rowMenu->isVisible());
    }

    void lockButtonIsNamedForWhatItDoes() {
        launchWith(1);
        QAccessibleInterface* lock = accessible(main().lockButton);
        QVERIFY(lock);
        QCOMPARE(lock->text(QAccessible::Name), QString("Lock"));
        QTest::mouseClick(main().keepKeys, Qt::LeftButton); // no alert when locking
        QTest::mouseClick(main().lockButton, Qt::LeftButton);
        QCOMPARE(ui().lockButtons.image(), std::string(image::LockLocked));
        QCOMPARE(lock->text(QAccessible::Name), QString("Unlock"));
        QTest::mouseClick(main().lockButton, Qt::LeftButton);
        QCOMPARE(ui().lockButtons.image(), std::string(image::LockUnlocked));
        QCOMPARE(lock->text(QAccessible::Name), QString("Lock"));
    }

    void eachLightIsDescribedByItsStatus() {
        launchWith(2);
        QAccessibleTableInterface* cells = accessible(view())->tableInterface();
        QVERIFY(cells);
        QCOMPARE(cells->cellAt(0, 0)->text(QAccessible::Name), QString("127.0.0.1"));
        QCOMPARE(cells->cellAt(0, 0)->text(QAccessible::Description), QString("Idle..."));
        clickRow(1);
        QTest::mouseClick(main().startButton, Qt::LeftButton);
        QCOMPARE(cells->cellAt(1, 0)->text(QAccessible::Description), QString("Starting..."));
        QCOMPARE(cells->cellAt(0, 0)->text(QAccessible::Description), QString("Idle..."));
    }

    // The keyboard focus entering a table with no selection makes a cell current; it must not
    // look selected, or Start would seem to act on that one service.
    void noCellLooksSelectedWithoutASelection() {
        launchWith(2);
        QVERIFY(QTest::qWaitForWindowActive(&main()));
        view()->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(view()->hasFocus());
        QCOMPARE(ui().serviceList.selectedRow(), -1L);
        if (!view()->currentIndex().isValid())
            view()->selectionModel()->setCurrentIndex(table()->index(0, 0),
                                                      QItemSelectionModel::NoUpdate);
        const QImage withCurrent = view()->viewport()->grab().toImage();

        view()->selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
        const QImage withoutCurrent = view()->viewport()->grab().toImage();
        QCOMPARE(withCurrent, withoutCurrent);

        // The grab does show a selection.
        clickRow(0);
        QVERIFY(view()->viewport()->grab().toImage() != withoutCurrent);
    }
};

QTEST_MAIN(GuiTableTest)
#include "gui_table_test.moc"
