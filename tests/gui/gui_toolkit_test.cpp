// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt toolkit adapters on their own: table snapshot and clicks, alert queue, buttons,
// and the run loop's timers.
#include "QtActivityIndicator.h"
#include "QtButton.h"
#include "QtRunLoop.h"
#include "QtTableView.h"
#include "QtWindow.h"
#include "ServiceTableModel.h"
#include "ServiceTableWidget.h"

#include <QCheckBox>
#include <QEventLoop>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

// Rows of (server, status image); counts what the table asks.
class CountingSource : public TableDataSource {
public:
    long numberOfRowsInTableView(TableView*) override {
        ++rowCountCalls;
        return static_cast<long>(servers.size());
    }
    CellView* viewForTableColumn(TableView* table, TableColumn* column, long row) override {
        ++cellCalls;
        CellView* view = table->makeViewWithIdentifier(column->identifier());
        const std::string& id = column->identifier();
        view->setText(id == "Server" ? servers[static_cast<std::size_t>(row)] : id + "-text");
        if (id == "Server") view->setImage(image::StatusAvailable);
        return view;
    }
    std::vector<std::string> servers;
    int rowCountCalls = 0;
    int cellCalls = 0;
};

// Counts the paint events that a widget of the application receives.
class PaintWatcher : public QObject {
public:
    explicit PaintWatcher(QWidget* w) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

QPoint centreOfRow(ServiceTableWidget* view, int row) {
    return view->visualRect(view->model()->index(row, 0)).center();
}

class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        ++paints;
        QPainter(this).fillRect(rect(), Qt::white);
    }
};

Alert alertSaying(const std::string& body, const std::string& headline = "Hey , tester") {
    Alert alert;
    alert.messageText = headline;
    alert.informativeText = body;
    return alert;
}

// Counts the activation changes that a window adapter reports.
struct ActivationLog {
    explicit ActivationLog(QtWindow& window) {
        window.onActivate = [this] { ++became; };
        window.onDeactivate = [this] { ++resigned; };
    }
    int became = 0;
    int resigned = 0;
};

void activate(QWidget* w) {
    w->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), w);
}

} // namespace

class GuiToolkitTest : public QObject {
    Q_OBJECT

private slots:
    // The row count at every reload; the cells of the rows on screen once for all the reloads
    // of one turn of the event loop, and of any other row when it is first read. A read before
    // the end of the turn has the cells of now.
    void tableAsksTheSourceForTheRowsOnScreenOncePerTurn() {
        ServiceTableWidget widget;
        QtTableView table(&widget);
        CountingSource source;
        for (int i = 0; i < 40; ++i)
            source.servers.push_back("server-" + std::to_string(i));
        table.setDataSource(&source);
        ServiceTableModel* model = table.model();
        widget.resize(500, 300);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));

        for (int i = 0; i < 3; ++i)
            table.reloadData();
        QCOMPARE(source.rowCountCalls, 3);
        QCOMPARE(model->rowCount(), 40);
        QCOMPARE(source.cellCalls, 0);
        QCoreApplication::sendPostedEvents();
        const int onScreen = widget.rowAt(widget.viewport()->height() - 1) + 1;
        QVERIFY(onScreen > 1 && onScreen < 40);
        QCOMPARE(source.cellCalls, onScreen * 4);

        // Painting and Qt's own queries are answered from the snapshot.
        (void)widget.grab();
        QCOMPARE(model->index(1, 0).data().toString(), QStringLiteral("server-1"));
        QCOMPARE(model->index(1, 3).data().toString(), QStringLiteral("Status-text"));
        QCOMPARE(source.cellCalls, onScreen * 4);
        // A row off screen is asked for when read, once.
        QCOMPARE(model->index(39, 0).data().toString(), QStringLiteral("server-39"));
        QCOMPARE(model->index(39, 1).data().toString(), QStringLiteral("Tunnel-text"));
        QCOMPARE(source.cellCalls, onScreen * 4 + 4);
        QCOMPARE(source.rowCountCalls, 3);

        // A changed source shows only after the next reload; read at once, it shows.
        source.servers = {"delta", "beta"};
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("server-0"));
        table.reloadData();
        QCOMPARE(source.rowCountCalls, 4);
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("delta"));
        const int asked = source.cellCalls;
        QCoreApplication::sendPostedEvents();
        QCOMPARE(source.cellCalls, asked + 4); // row 1; row 0 was fresh already
        QCOMPARE(model->index(1, 0).data().toString(), QStringLiteral("beta"));
    }

    void tableShowsHeadersAndImages() {
        ServiceTableWidget widget;
        QtTableView table(&widget);
        CountingSource source;
        source.servers = {"alpha"};
        table.setDataSource(&source);
        table.reloadData();
        ServiceTableModel* model = table.model();

        const QStringList headers{"Server", "Tunnel", "Listen Port", "Status"};
        for (int c = 0; c < 4; ++c)
            QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), headers[c]);
        const QModelIndex server = model->index(0, 0);
        QCOMPARE(server.data(ServiceTableModel::ImageNameRole).toString(),
                 QString(image::StatusAvailable));
        const QIcon icon = server.data(Qt::DecorationRole).value<QIcon>();
        QVERIFY(!icon.isNull());
        QVERIFY(!icon.pixmap(16, 16).isNull());
        QVERIFY(!model->index(0, 2).data(Qt::DecorationRole).isValid());
        QVERIFY(!(model->flags(server) & Qt::ItemIsEditable));
    }

    void selectionSurvivesReloadsAndFollowsClicks() {
        ServiceTableWidget widget;
        QtTableView table(&widget);
        CountingSource source;
        source.servers = {"a", "b", "c"};
        table.setDataSource(&source);
        int clicks = 0, doubleClicks = 0;
        table.setAction([&] { ++clicks; });
        table.setDoubleAction([&] { ++doubleClicks; });
        widget.resize(500, 300);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        table.reloadData();
        QCOMPARE(table.selectedRow(), -1L);

        QTest::mouseClick(widget.viewport(), Qt::LeftButton, {}, centreOfRow(&widget, 1));
        QCOMPARE(clicks, 1);
        QCOMPARE(table.selectedRow(), 1L);

        table.reloadData(); // a status change: the selection stays
        QCOMPARE(table.selectedRow(), 1L);

        // Below the last row: the selection is cleared before the action runs.
        long seenByAction = 99;
        table.setAction([&] { seenByAction = table.selectedRow(); });
        QTest::mouseClick(widget.viewport(), Qt::LeftButton, {}, QPoint(20, 280));
        QCOMPARE(seenByAction, -1L);
        QCOMPARE(table.selectedRow(), -1L);

        QTest::mouseDClick(widget.viewport(), Qt::LeftButton, {}, centreOfRow(&widget, 2));
        QCOMPARE(doubleClicks, 1);
        QCOMPARE(table.selectedRow(), 2L);

        // Keyboard moves count as clicks; Return acts as a double click.
        widget.setFocus();
        QTest::keyClick(&widget, Qt::Key_Up);
        QCOMPARE(seenByAction, 1L);
        QTest::keyClick(&widget, Qt::Key_Return);
        QCOMPARE(doubleClicks, 2);
    }

    void selectRowReplacesAndRemovedRowsDeselect() {
        ServiceTableWidget widget;
        QtTableView table(&widget);
        CountingSource source;
        source.servers = {"a", "b", "c"};
        table.setDataSource(&source);
        int clicks = 0;
        table.setAction([&] { ++clicks; });
        table.reloadData();

        table.selectRow(0);
        table.selectRow(2);
        QCOMPARE(table.selectedRow(), 2L);
        QCOMPARE(widget.selectionModel()->selectedRows().size(), 1);
        table.selectRow(3); // past the end: nothing
        QCOMPARE(table.selectedRow(), -1L);
        QCOMPARE(clicks, 0); // selecting by program is no click

        table.selectRow(2);
        source.servers.pop_back();
        table.reloadData();
        QCOMPARE(table.selectedRow(), -1L);
    }

    void alertsQueuePerWindowAndNeverBlock() {
        QMainWindow window;
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QtWindow adapter(&window);

        Alert first = alertSaying("first body");
        Alert second = alertSaying("second body");
        adapter.beginSheet(first);
        adapter.beginSheet(second);

        QMessageBox* box = adapter.currentAlert();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Hey , tester"));
        QCOMPARE(box->informativeText(), QStringLiteral("first body"));
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->buttons().first()->text(), QStringLiteral("OK"));
        QCOMPARE(adapter.queuedAlerts(), std::size_t{1});

        QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
        QTRY_VERIFY(adapter.currentAlert() && adapter.currentAlert() != box);
        QCOMPARE(adapter.currentAlert()->informativeText(), QStringLiteral("second body"));
        QCOMPARE(adapter.queuedAlerts(), std::size_t{0});
        adapter.currentAlert()->buttons().first()->click();
        QTRY_VERIFY(!adapter.currentAlert());
    }

    // The second button's action runs once, only for that button, after its alert has gone;
    // an alert that the action opens waits behind one that was waiting already.
    void anAlertsSecondButtonRunsItsActionOnceItsAlertHasGone() {
        QMainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QtWindow adapter(&window);
        QStringList showingWhenRun; // what alert shows when the action runs
        Alert offer = alertSaying("Failed...");
        offer.otherButtonTitle = "Trust this server\u2026";
        offer.otherAction = [&] {
            QMessageBox* showing = adapter.currentAlert();
            showingWhenRun << (showing ? showing->informativeText() : QString());
            adapter.beginSheet(alertSaying("confirm"));
        };

        for (const bool pressOther : {false, true}) {
            adapter.beginSheet(offer);
            adapter.beginSheet(alertSaying("waiting"));
            QMessageBox* box = adapter.currentAlert();
            QCOMPARE(box->buttons().size(), 2);
            QCOMPARE(box->defaultButton()->text(), QStringLiteral("OK"));
            QCOMPARE(box->escapeButton(), box->defaultButton());
            QAbstractButton* other =
                box->buttons().at(box->buttons().at(0) == box->defaultButton());
            QCOMPARE(other->text(), QStringLiteral("Trust this server\u2026"));
            QTest::mouseClick(pressOther ? other : box->defaultButton(), Qt::LeftButton);
            QTRY_VERIFY(adapter.currentAlert() && adapter.currentAlert() != box);
            QStringList seen;
            while (QMessageBox* next = adapter.currentAlert()) {
                seen << next->informativeText();
                next->defaultButton()->click();
                QTRY_VERIFY(adapter.currentAlert() != next &&
                            (adapter.currentAlert() || adapter.queuedAlerts() == 0));
            }
            const QStringList expected =
                pressOther ? QStringList{"waiting", "confirm"} : QStringList{"waiting"};
            QCOMPARE(seen, expected);
        }
        QCOMPARE(showingWhenRun.size(), 1);
        QVERIFY(showingWhenRun[0] != QStringLiteral("Failed..."));
    }

    void alertsWithTheTextOfOneShowingOrWaitingAreDropped() {
        QMainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QtWindow adapter(&window);

        // A failing service with reconnection on reports the same failure again and again.
        for (int i = 0; i < 50; ++i) {
            adapter.beginSheet(alertSaying("Failed..."));
            adapter.beginSheet(alertSaying("Locked"));
        }
        adapter.beginSheet(alertSaying("Failed...", "Hey , someone")); // another headline
        QCOMPARE(adapter.currentAlert()->informativeText(), QStringLiteral("Failed..."));
        QCOMPARE(adapter.queuedAlerts(), std::size_t{2});

        // Once dismissed, the same text may come again; while its twin waits, it may not.
        QTest::mouseClick(adapter.currentAlert()->buttons().first(), Qt::LeftButton);
        QTRY_VERIFY(adapter.currentAlert() &&
                    adapter.currentAlert()->informativeText() == QStringLiteral("Locked"));
        adapter.beginSheet(alertSaying("Failed..."));
        adapter.beginSheet(alertSaying("Failed...", "Hey , someone"));
        QCOMPARE(adapter.queuedAlerts(), std::size_t{2});

        QStringList seen;
        while (QMessageBox* box = adapter.currentAlert()) {
            seen << box->text() + "/" + box->informativeText();
            box->buttons().first()->click();
            QTRY_VERIFY(adapter.currentAlert() != box || adapter.queuedAlerts() == 0);
            QTRY_VERIFY(adapter.currentAlert() || adapter.queuedAlerts() == 0);
        }
        QCOMPARE(seen, (QStringList{"Hey , tester/Locked", "Hey , someone/Failed...",
                                    "Hey , tester/Failed..."}));
    }

    // A sheet keeps its window the main window; only another window taking activation (ours
    // or none of ours) is a change.
    void alertsCountAsTheirWindowForActivation() {
        QMainWindow window, other;
        other.move(500, 0);
        QtWindow adapter(&window);
        ActivationLog log(adapter);
        window.show();
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        activate(&other);
        activate(&window);
        QCOMPARE(log.resigned + 1, log.became);
        log.became = 1;
        log.resigned = 0;

        int key = 0; // the window itself becoming key counts each time, as in a key-window model
        adapter.onBecomeKey = [&key] { ++key; };
        adapter.beginSheet(alertSaying("one"));
        QMessageBox* box = adapter.currentAlert();
        activate(box);
        QCOMPARE(log.resigned, 0);
        box->buttons().first()->click();
        QTRY_COMPARE(QApplication::activeWindow(), &window); // handed back by the adapter
        QCOMPARE(key, 1);
        QCOMPARE(log.became, 1);
        QCOMPARE(log.resigned, 0);

        activate(&other);
        QCOMPARE(log.resigned, 1);
        // Coming back to an alert that appeared meanwhile is coming back to the window.
        adapter.beginSheet(alertSaying("two"));
        activate(adapter.currentAlert()); // a new window takes activation, as offscreen
        activate(&other);
        log.became = log.resigned = 0;
        activate(adapter.currentAlert());
        QCOMPARE(log.became, 1);
        activate(&other);
        QCOMPARE(log.resigned, 1);

        // The application losing activation altogether counts as leaving.
        activate(&window);
        QCOMPARE(log.became, 2);
        QApplication::setActiveWindow(nullptr);
        QCOMPARE(log.resigned, 2);
    }

    void buttonsKeepStateTitleAndImage() {
        QPushButton push(QStringLiteral("St&op Service"));
        QtButton stop(&push);
        QCOMPARE(stop.title(), std::string("Stop Service"));
        stop.setTitle("Stop Services");
        QCOMPARE(push.text(), QStringLiteral("St&op Services"));
        QCOMPARE(stop.title(), std::string("Stop Services"));
        stop.setState(1); // remembered on a plain push button
        QCOMPARE(stop.state(), 1);
        stop.setImage(image::LockLocked);
        QCOMPARE(stop.image(), std::string(image::LockLocked));
        QVERIFY(!push.icon().isNull());

        QCheckBox box(QStringLiteral("Keep"));
        QtButton keep(&box);
        QSignalSpy clicked(&box, &QCheckBox::clicked);
        keep.setState(1);
        QVERIFY(box.isChecked());
        QCOMPARE(clicked.count(), 0); // setting the state is not a click
        box.click();
        QCOMPARE(keep.state(), 0);
        keep.setEnabled(false);
        QVERIFY(!box.isEnabled());
        QVERIFY(!keep.isEnabled());
    }

    void everyNamedImageExists() {
        for (const char* name :
             {image::StatusNone, image::StatusPartiallyAvailable, image::StatusAvailable,
              image::StatusUnavailable, image::FollowLink, image::RightTriangle,
              image::LeftTriangle, image::LockLocked, image::LockUnlocked}) {
            QPushButton b;
            QtButton adapter(&b);
            adapter.setImage(name);
            QVERIFY2(!b.icon().pixmap(32, 32).isNull(), name);
        }
    }

    // The indicator spins only while someone can see it: hidden or minimized, it still
    // counts as animating but neither its timer nor its painting wakes the process.
    void activityIndicatorRestsWhileItsWindowIsHidden() {
        QWidget window;
        auto* indicator = new QtActivityIndicator(&window);
        auto* timer = indicator->findChild<QTimer*>();
        QVERIFY(timer);
        PaintWatcher counter(indicator);

        indicator->startAnimation(); // before the window is shown
        QVERIFY(indicator->isAnimating());
        QVERIFY(!timer->isActive());

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(timer->isActive());
        int seen = counter.paints;
        QTRY_VERIFY(counter.paints >= seen + 3); // it keeps spinning while shown

        window.hide();
        QVERIFY(indicator->isAnimating());
        QVERIFY(!timer->isActive());
        seen = counter.paints;
        QTest::qWait(300); // several frames' time: none is painted
        QCOMPARE(counter.paints, seen);

        window.show();
        QVERIFY(timer->isActive());
        QTRY_VERIFY(counter.paints >= seen + 3);

        window.showMinimized();
        QTRY_VERIFY(!timer->isActive());
        QVERIFY(indicator->isAnimating());
        window.showNormal();
        QTRY_VERIFY(timer->isActive());

        // Stopped while hidden: showing the window again does not restart it.
        window.hide();
        indicator->stopAnimation();
        window.show();
        QVERIFY(!indicator->isAnimating());
        QVERIFY(!timer->isActive());
        indicator->startAnimation();
        QVERIFY(timer->isActive());
    }

    void runLoopTimersFireAndStop() {
        QtRunLoop loop;
        int once = 0, repeating = 0, cancelled = 0;
        auto token = std::make_shared<int>(7);
        std::weak_ptr<int> watch = token;
        loop.scheduleOnce(0.01, [&once, token] { ++once; });
        token.reset();
        QVERIFY(!watch.expired()); // the pending timer keeps its captures
        std::shared_ptr<Timer> tick = loop.scheduleRepeating(0.01, [&] {
            if (++repeating == 3) tick->invalidate(); // stops itself from inside
        });
        auto captured = std::make_shared<int>(1);
        std::weak_ptr<int> capturedWatch = captured;
        auto never = loop.scheduleOnce(0.01, [&cancelled, captured] { ++cancelled; });
        captured.reset();
        never->invalidate();
        QVERIFY(!never->isValid());
        QVERIFY(capturedWatch.expired()); // let go at once, not when it would have been due

        QTRY_COMPARE(repeating, 3);
        QTRY_COMPARE(once, 1);
        QVERIFY(watch.expired()); // released once fired
        QTest::qWait(50);
        QCOMPARE(once, 1);
        QCOMPARE(repeating, 3);
        QCOMPARE(cancelled, 0);
        QVERIFY(!tick->isValid());
        QCOMPARE(loop.pendingTimers(), std::size_t{0});

        // Qt hands out the id of a timer that has gone again: a handle of the old timer,
        // invalidated late, must not stop the new one.
        int later = 0;
        std::vector<std::shared_ptr<Timer>> gone;
        for (int i = 0; i < 8; ++i)
            gone.push_back(loop.scheduleOnce(0.0, [] {}));
        QTRY_COMPARE(loop.pendingTimers(), std::size_t{0});
        std::vector<std::shared_ptr<Timer>> fresh;
        for (int i = 0; i < 8; ++i)
            fresh.push_back(loop.scheduleOnce(0.01, [&later] { ++later; }));
        for (auto& timer : gone)
            timer->invalidate();
        QTRY_COMPARE(later, 8);
    }

    // Timers due together are independent: one whose action opens a nested event loop (a
    // modal dialog) holds back neither the others of that moment nor those scheduled later.
    void runLoopTimersFireInsideANestedLoop() {
        QtRunLoop loop;
        bool sameMomentInside = false, laterInside = false, repeatedInside = false;
        int ticks = 0;
        auto tick = loop.scheduleRepeating(0.01, [&] { ++ticks; });
        bool nestedRunning = false;
        loop.scheduleOnce(0.0, [&] {
            QEventLoop nested;
            const int before = ticks;
            nestedRunning = true;
            loop.scheduleOnce(0.02, [&] {
                laterInside = true;
                repeatedInside = ticks > before;
                if (sameMomentInside) nested.quit();
            });
            QTimer::singleShot(5000, &nested, &QEventLoop::quit); // a stuck loop fails the test
            nested.exec();
            nestedRunning = false;
        });
        loop.scheduleOnce(0.0, [&] { sameMomentInside = nestedRunning; });
        QTRY_VERIFY(laterInside);
        QVERIFY(sameMomentInside);
        QVERIFY(repeatedInside);
        tick->invalidate();
    }

    // Ending the run loop fires nothing and lets go of every pending action, also of timers
    // whose handles live on; those handles stay harmless.
    void runLoopEndsWithoutFiring() {
        int fired = 0;
        auto captured = std::make_shared<int>(1);
        std::weak_ptr<int> watch = captured;
        std::shared_ptr<Timer> kept;
        {
            QtRunLoop loop;
            loop.scheduleOnce(0.0, [&fired, captured] { ++fired; });
            loop.scheduleOnceExactly(0.0, [&fired, captured] { ++fired; });
            kept = loop.scheduleRepeating(0.001, [&fired, captured] { ++fired; });
            captured.reset();
        }
        QVERIFY(watch.expired());
        QVERIFY(!kept->isValid());
        kept->invalidate();
        QTest::qWait(20);
        QCOMPARE(fired, 0);
    }
};

QTEST_MAIN(GuiToolkitTest)
#include "gui_toolkit_test.moc"
