#include "WakeWatcher.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {

const QString kNetworkManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNetworkManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
// NetworkManager's NMState values that matter here.
constexpr uint kStateUnknown = 0;
constexpr uint kStateConnectedGlobal = 70;

} // namespace

WakeWatcher::WakeWatcher(QObject* parent) : QObject(parent) {
    QDBusConnection system = QDBusConnection::systemBus();
    if (!system.isConnected()) return;
    system.connect(QStringLiteral("org.freedesktop.login1"),
                   QStringLiteral("/org/freedesktop/login1"),
                   QStringLiteral("org.freedesktop.login1.Manager"),
                   QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    system.connect(kNetworkManager, kNetworkManagerPath, kNetworkManager,
                   QStringLiteral("StateChanged"), this, SLOT(networkStateChanged(uint)));
    askNetworkState();
}

void WakeWatcher::prepareForSleep(bool sleeping) {
    if (!sleeping) emit connectionsMayBeStale();
}

void WakeWatcher::networkStateChanged(uint state) {
    networkStateSeen_ = true;
    // Unknown says nothing about the connections; keep the last known state.
    if (state == kStateUnknown) return;
    const bool online = state == kStateConnectedGlobal;
    if (online && offline_) emit connectionsMayBeStale();
    offline_ = !online;
}

// The state before the first change, asked without waiting for the answer.
void WakeWatcher::askNetworkState() {
    QDBusMessage ask = QDBusMessage::createMethodCall(
        kNetworkManager, kNetworkManagerPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    ask << kNetworkManager << QStringLiteral("State");
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *call;
                // A change that came first is newer than this answer.
                if (reply.isError() || networkStateSeen_) return;
                const uint state = reply.value().variant().toUInt();
                if (state != kStateUnknown) offline_ = state != kStateConnectedGlobal;
            });
}
