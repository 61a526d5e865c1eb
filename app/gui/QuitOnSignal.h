// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (a logout, kill, Ctrl+C in the terminal) into an orderly
// QApplication::quit(), so the end sequence still stops every tunnel and removes the askpass
// file. The handler only writes a byte to a socket pair; the quit happens on the event loop.
class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

private:
    QSocketNotifier* notifier_ = nullptr;
};
