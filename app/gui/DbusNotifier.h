// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop/Notifier.h"

#include <QHash>
#include <QObject>
#include <QString>

// Desktop notices through org.freedesktop.Notifications on the session bus. A notice for a
// key shown before replaces the earlier one. Without a session bus or a notification server
// the calls fail quietly.
class DbusNotifier : public QObject, public Notifier {
    Q_OBJECT
public:
    explicit DbusNotifier(QObject* parent = nullptr);

    void show(const std::string& key, const std::string& summary, const std::string& body) override;

private:
    QHash<QString, uint> shownIds_;
};
