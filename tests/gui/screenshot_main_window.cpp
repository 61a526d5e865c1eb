// SPDX-License-Identifier: GPL-3.0-or-later
// Makes docs/main-window.png: the real main window with a few services, one running and one
// failed, offscreen. Run it under with-test-home:
//   QT_QPA_PLATFORM=offscreen tests/support/with-test-home build/bin/gui_screenshot out.png
#include "FakeAuthorizer.h"
#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "PreferencesDialog.h"
#include "QtRunLoop.h"
#include "QuillboreApp.h"
#include "ServiceFormDialog.h"
#include "ServiceTableWidget.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/SyslogLog.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <cstdio>

using namespace gui_test;

namespace {

void addService(QuillboreApp& app, const QString& server, const QString& port,
                const QString& forward, bool socks, bool reverse) {
    QTest::mouseClick(app.windows.main->addButton, Qt::LeftButton);
    ServiceFormDialog* form = app.windows.addForm();
    typeInto(form->serverAddress, server);
    typeInto(form->serverPort, port);
    typeInto(form->forwardInfo, forward);
    if (form->isSocks->isChecked() != socks) QTest::mouseClick(form->isSocks, Qt::LeftButton);
    if (reverse) QTest::mouseClick(form->reverseButton, Qt::LeftButton);
    QTest::mouseClick(form->okButton, Qt::LeftButton);
}

void dismissAlerts(QuillboreApp& app) {
    while (app.windows.mainWindow.currentAlert())
        pressOK(app.windows.mainWindow);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: gui_screenshot OUTPUT.png\n");
        return 2;
    }
    QtRunLoop runLoop;
    PosixProcessLauncher launcher;
    SyslogLog log;
    FakeAuthorizer authorizer;
    QuillboreApp app(runLoop, launcher, log, authorizer);
    app.launch();
    dismissAlerts(app);

    // Every service runs this command; the one on port 1081 fails at once.
    const QString script = scratch() + "/tunnel.sh";
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    file.write("#!/bin/sh\ncase \"$*\" in *1081*) exit 255;; esac\nexec sleep 60\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    app.windows.main->preferencesAction->trigger();
    PreferencesDialog* prefs = app.windows.preferences();
    QTest::mouseClick(prefs->comOption, Qt::LeftButton);
    typeInto(prefs->commandInfo, script);
    typeInto(prefs->commandArgs, "%u@%h");
    QTest::mouseClick(prefs->saveButton, Qt::LeftButton);

    addService(app, "bastion.example.org", "1080", "", true, false);
    addService(app, "db.internal.example.org", "5432", "127.0.0.1:5432", false, false);
    addService(app, "build.example.org", "1081", "", true, false);
    addService(app, "home.example.net", "2222", "127.0.0.1:22", false, true);
    addService(app, "mail.example.org", "1143,1587", "127.0.0.1:143,127.0.0.1:587", false, false);

    ServiceTableWidget* view = app.windows.main->table;
    for (int row : {0, 2, 1}) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(view, row));
        QTest::mouseClick(app.windows.main->startButton, Qt::LeftButton);
    }
    // Row 1 was started last; wait until every started service has had its 3-second check.
    const bool settled = QTest::qWaitFor(
        [&] { return cellText(app.windows.serviceList.model(), 1, 3) == "Running..."; }, 10000);
    if (!settled) std::fprintf(stderr, "gui_screenshot: the services did not settle\n");
    QTest::qWait(1200);
    dismissAlerts(app);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(view, 1));
    QTest::qWait(300);

    const bool saved = app.windows.main->grab().save(QString::fromLocal8Bit(argv[1]));
    app.controller.applicationWillTerminate();
    return saved ? 0 : 1;
}
