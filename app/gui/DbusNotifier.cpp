// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbusNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

constexpr auto kService = "org.freedesktop.Notifications";
constexpr auto kPath = "/org/freedesktop/Notifications";
constexpr auto kExpireDefault = -1;

} // namespace

DbusNotifier::DbusNotifier(QObject* parent) : QObject(parent) {}

void DbusNotifier::show(const std::string& key, const std::string& summary,
                        const std::string& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    const QString id = QString::fromStdString(key);
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                       QLatin1String(kService), QStringLiteral("Notify"));
    // No auto-start: without a notification server there is nothing to do.
    call.setAutoStartService(false);
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("quillbore-ssh"));
    call << QStringLiteral("QuillboreSSH") << shownIds_.value(id, 0u)
         << QStringLiteral("quillbore-ssh") << QString::fromStdString(summary)
         << QString::fromStdString(body) << QStringList() << hints << kExpireDefault;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, id](QDBusPendingCallWatcher* w) {
                QDBusPendingReply<uint> reply = *w;
                if (reply.isValid()) shownIds_.insert(id, reply.value());
                w->deleteLater();
            });
}
