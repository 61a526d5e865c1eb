// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrayHost.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QSystemTrayIcon>

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
constexpr int kAnswerMs = 2000;

} // namespace

TrayHost::TrayHost(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    auto* watch =
        new QDBusServiceWatcher(kWatcher, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watch, &QDBusServiceWatcher::serviceOwnerChanged, this, &TrayHost::recheck);
    for (const char* change : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
        bus.connect(kWatcher, kWatcherPath, kWatcher, QString::fromLatin1(change), this,
                    SLOT(recheck()));
    available_ = watcherHasHost() && QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayHost::recheck() {
    const bool now = watcherHasHost() && QSystemTrayIcon::isSystemTrayAvailable();
    if (now == available_) return;
    available_ = now;
    emit availabilityChanged(now);
}

bool TrayHost::watcherHasHost() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.interface()->isServiceRegistered(kWatcher)) return false;
    QDBusMessage ask = QDBusMessage::createMethodCall(
        kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    ask << kWatcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusReply<QDBusVariant> reply = bus.call(ask, QDBus::Block, kAnswerMs);
    return reply.isValid() && reply.value().variant().toBool();
}
