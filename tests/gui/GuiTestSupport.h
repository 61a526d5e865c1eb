// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers for the GUI tests: the temporary account of with-test-home, dismissing alerts,
// answering the modal password prompt, and reading the service table.
#include "QtWindow.h"
#include "ServiceTableModel.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace gui_test {

inline QString env(const char* name) {
    return QString::fromLocal8Bit(qgetenv(name));
}
inline QString home() {
    return env("QB_TEST_HOME");
}
inline QString login() {
    return env("QB_TEST_LOGIN_NAME");
}
inline QString scratch() {
    return env("QB_TEST_ROOT");
}

// A port of 127.0.0.1 that was free a moment ago (0 when none could be had).
inline int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0;
    ::close(fd);
    return ok ? ntohs(a.sin_port) : 0;
}

// Presses the one button of the alert the window shows now and returns its body.
inline QString pressOK(QtWindow& window) {
    QMessageBox* box = window.currentAlert();
    if (!box) return {};
    const QString body = box->informativeText();
    QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return window.currentAlert() != box; }, 2000)) return {};
    return body;
}

// The modal password prompt blocks the click that opened it; this answers it from the event
// loop once it shows: with the password, or with Cancel when there is none. Delete the
// returned poll after the click, in case no prompt came.
inline QTimer* answerPasswordPromptLater(std::optional<QString> password, QString* seenTitle) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, password, seenTitle] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        poll->stop();
        poll->deleteLater();
        if (seenTitle) *seenTitle = dialog->windowTitle();
        auto* field = dialog->findChild<QLineEdit*>();
        if (field && field->echoMode() != QLineEdit::Password) {
            dialog->reject(); // never type a password into a visible field
            return;
        }
        if (password) {
            QTest::keyClicks(field, *password);
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
    poll->start(20);
    return poll;
}

inline QString cellText(ServiceTableModel* model, int row, int column) {
    return model->index(row, column).data().toString();
}

inline QString cellImage(ServiceTableModel* model, int row, int column) {
    return model->index(row, column).data(ServiceTableModel::ImageNameRole).toString();
}

inline QPoint rowCentre(QAbstractItemView* view, int row) {
    return view->visualRect(view->model()->index(row, 0)).center();
}

// Replaces the text of a field the way a user does: select all, type.
inline void typeInto(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

} // namespace gui_test
