// SPDX-License-Identifier: GPL-3.0-or-later
// Makes docs/failed-service.png and docs/log-window.png: the real application whose service
// to a closed port failed, with ssh's own words under the failure alert, and the log window.
// ssh is the real /usr/bin/ssh; the server name leads to a closed port of 127.0.0.1 through
// ~/.ssh/config of the temporary home. Run it under with-test-home:
//   QT_QPA_PLATFORM=offscreen tests/support/with-test-home
//       build/bin/gui_screenshot_failed docs/failed-service.png docs/log-window.png
// (one command line)
#include "FakeAuthorizer.h"
#include "GuiTestSupport.h"
#include "LogWindow.h"
#include "MainWindow.h"
#include "QtRunLoop.h"
#include "QuillboreApp.h"
#include "ServiceFormDialog.h"
#include "ServiceTableWidget.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/SyslogLog.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPushButton>
#include <cstdio>

using namespace gui_test;

namespace {

void addService(QuillboreApp& app, const QString& server, const QString& port,
                const QString& forward, bool socks) {
    QTest::mouseClick(app.windows.main->addButton, Qt::LeftButton);
    ServiceFormDialog* form = app.windows.addForm();
    typeInto(form->serverAddress, server);
    typeInto(form->serverPort, port);
    typeInto(form->forwardInfo, forward);
    if (form->isSocks->isChecked() != socks) QTest::mouseClick(form->isSocks, Qt::LeftButton);
    QTest::mouseClick(form->okButton, Qt::LeftButton);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: gui_screenshot_failed FAILED.png LOG.png\n");
        return 2;
    }
    // Every server name leads to a port of 127.0.0.1 where nothing listens.
    QDir().mkpath(home() + "/.ssh");
    QFile config(home() + "/.ssh/config");
    if (!config.open(QIODevice::WriteOnly)) return 1;
    const QByteArray port = QByteArray::number(freePort());
    config.write("Host *\n  HostName 127.0.0.1\n"
                 "  Port " +
                 port + "\n  BatchMode yes\n");
    config.close();

    QtRunLoop runLoop;
    PosixProcessLauncher launcher;
    SyslogLog log;
    FakeAuthorizer authorizer;
    QuillboreApp app(runLoop, launcher, log, authorizer);
    app.launch();
    while (app.windows.mainWindow.currentAlert())
        pressOK(app.windows.mainWindow);

    addService(app, "bastion.example.org", "1080", "", true);
    addService(app, "db.internal.example.org", "5432", "127.0.0.1:5432", false);
    addService(app, "mail.example.org", "1143", "127.0.0.1:143", false);

    ServiceTableWidget* view = app.windows.main->table;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(view, 1));
    QTest::mouseClick(app.windows.main->startButton, Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return app.windows.mainWindow.currentAlert() != nullptr; }, 10000))
        std::fprintf(stderr, "gui_screenshot_failed: no failure alert\n");
    QTest::qWait(500);

    // The sheet over its window, as a window-modal alert shows on a desktop.
    QPixmap window = app.windows.main->grab();
    if (QMessageBox* box = app.windows.mainWindow.currentAlert()) {
        const QPixmap sheet = box->grab();
        QPainter painter(&window);
        const QRect frame((window.width() - sheet.width()) / 2, 24, sheet.width(), sheet.height());
        painter.fillRect(frame.adjusted(-1, -1, 1, 1), QColor(0, 0, 0, 90));
        painter.drawPixmap(frame.topLeft(), sheet);
    }
    bool saved = window.save(QString::fromLocal8Bit(argv[1]));
    pressOK(app.windows.mainWindow);

    app.windows.main->showLogAction->trigger();
    app.windows.logView()->resize(860, 260);
    QTest::qWait(300);
    saved = app.windows.logView()->grab().save(QString::fromLocal8Bit(argv[2])) && saved;
    app.controller.applicationWillTerminate();
    return saved ? 0 : 1;
}
