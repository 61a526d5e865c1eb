#include "WakeWatcher.h"

#include <QDBusConnection>
#include <QNetworkInformation>

WakeWatcher::WakeWatcher(QObject* parent) : QObject(parent) {
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected())
        system.connect(QStringLiteral("org.freedesktop.login1"),
                       QStringLiteral("/org/freedesktop/login1"),
                       QStringLiteral("org.freedesktop.login1.Manager"),
                       QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    watchNetwork();
}

void WakeWatcher::prepareForSleep(bool sleeping) {
    if (!sleeping) emit connectionsMayBeStale();
}

void WakeWatcher::watchNetwork() {
    // NetworkManager where it runs; otherwise whichever backend knows reachability.
    if (!QNetworkInformation::loadBackendByName(QStringLiteral("networkmanager")) &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return;
    QNetworkInformation* info = QNetworkInformation::instance();
    if (!info) return;
    const auto now = info->reachability();
    offline_ = now != QNetworkInformation::Reachability::Online &&
               now != QNetworkInformation::Reachability::Unknown;
    connect(info, &QNetworkInformation::reachabilityChanged, this,
            [this](QNetworkInformation::Reachability now) {
                const bool online = now == QNetworkInformation::Reachability::Online;
                if (online && offline_) emit connectionsMayBeStale();
                // Unknown says nothing about the connections; keep the last known state.
                if (now != QNetworkInformation::Reachability::Unknown) offline_ = !online;
            });
}
