// SPDX-License-Identifier: GPL-3.0-or-later
// Makes docs/tray-menu.png: the tray icon's picture and its menu for a few services, one
// running, one restarting, one closed, offscreen. Run it under with-test-home:
//   QT_QPA_PLATFORM=offscreen tests/support/with-test-home build/bin/desktop_screenshot out.png
#include "FakeAuthorizer.h"
#include "QtRunLoop.h"
#include "QuillboreApp.h"
#include "TrayIcon.h"
#include "desktop/TrayActions.h"
#include "desktop/TrayView.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/SyslogLog.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QTest>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: desktop_screenshot OUTPUT.png\n");
        return 2;
    }
    QtRunLoop runLoop;
    PosixProcessLauncher launcher;
    SyslogLog log;
    FakeAuthorizer authorizer;
    QuillboreApp app(runLoop, launcher, log, authorizer);
    app.controller.theServiceList = std::vector<ServiceEntry>{
        {"bastion.example.org", "1080", "Running...", "me", "", "SOCKS", nullptr},
        {"db.internal.example.org", "5432", "Retring...", "me", "", "127.0.0.1:5432", nullptr},
        {"home.example.net", "2222", "Connection Closed...", "me", "",
         "Reverse Tunnel: 127.0.0.1:22", nullptr},
        {"mail.example.org", "1143", "Idle...", "me", "", "127.0.0.1:143", nullptr}};

    TrayActions actions(app.controller);
    TrayIcon tray(actions, [] {});
    const TrayView view = TrayView::of(app.controller);
    tray.show(view);
    QMenu* menu = tray.menu();
    menu->popup(QPoint(0, 40));
    QTest::qWait(100);
    const QPixmap menuShot = menu->grab();

    const int margin = 8, panel = 32;
    QPixmap out(menuShot.width() + 2 * margin, panel + menuShot.height() + 2 * margin);
    out.fill(QColor(0x2b, 0x2d, 0x31));
    QPainter painter(&out);
    painter.fillRect(0, 0, out.width(), panel, QColor(0x1e, 0x1f, 0x22));
    TrayIcon::picture(view.light).paint(&painter, QRect(margin, 4, 24, 24));
    painter.setPen(Qt::white);
    painter.drawText(QRect(margin + 32, 0, out.width(), panel), Qt::AlignVCenter,
                     QString::fromStdString(view.toolTip));
    painter.drawPixmap(margin, panel + margin, menuShot);
    painter.end();
    return out.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
