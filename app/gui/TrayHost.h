// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

// Whether there is a tray to show an icon in: a StatusNotifierWatcher on the session bus with a
// host registered, and Qt agreeing. Follows the watcher and its host as they come, go and come
// back (a panel that starts after the application at login, or restarts).
//
// Qt is asked only once the watcher says there is a host: Qt remembers the answer of its first
// check for the life of the process, so asking it earlier would hide every later tray.
class TrayHost : public QObject {
    Q_OBJECT
public:
    explicit TrayHost(QObject* parent = nullptr);

    bool isAvailable() const { return available_; }

signals:
    void availabilityChanged(bool available);

private slots:
    void recheck();

private:
    static bool watcherHasHost();

    bool available_ = false;
};
