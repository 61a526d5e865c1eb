// SPDX-License-Identifier: GPL-3.0-or-later
#include "WakeWatcher.h"

#include "desktop/RenewalTrigger.h"
#include "platform/Files.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString kNetworkManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kNetworkManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kState = QStringLiteral("State");
const QString kPrimaryConnection = QStringLiteral("PrimaryConnection");

std::string defaultRoute() {
    return RenewalTrigger::defaultRoute(files::readWhole("/proc/net/route").value_or(""));
}

} // namespace

WakeWatcher::WakeWatcher(RenewalTrigger& trigger, QObject* parent)
    : QObject(parent), trigger_(trigger) {
    QDBusConnection system = QDBusConnection::systemBus();
    if (!system.isConnected()) return;
    system.connect(QStringLiteral("org.freedesktop.login1"),
                   QStringLiteral("/org/freedesktop/login1"),
                   QStringLiteral("org.freedesktop.login1.Manager"),
                   QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    system.connect(kNetworkManager, kNetworkManagerPath, kNetworkManager,
                   QStringLiteral("StateChanged"), this, SLOT(networkStateChanged(uint)));
    system.connect(kNetworkManager, kNetworkManagerPath, kProperties,
                   QStringLiteral("PropertiesChanged"), this,
                   SLOT(networkPropertiesChanged(QString, QVariantMap, QStringList)));
    askNetworkState();
}

void WakeWatcher::prepareForSleep(bool sleeping) {
    if (!sleeping) trigger_.resumed();
}

void WakeWatcher::networkStateChanged(uint state) {
    networkStateSeen_ = true;
    state_ = state;
    tell();
}

void WakeWatcher::networkPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                           const QStringList&) {
    if (interface != kNetworkManager) return;
    networkStateSeen_ = true;
    if (take(changed)) tell();
}

// Takes State and PrimaryConnection from a set of NetworkManager's properties; true when it
// held either.
bool WakeWatcher::take(const QVariantMap& properties) {
    bool any = false;
    if (auto it = properties.find(kState); it != properties.end()) {
        state_ = it->toUInt();
        any = true;
    }
    if (auto it = properties.find(kPrimaryConnection); it != properties.end()) {
        primary_ = it->value<QDBusObjectPath>().path();
        any = true;
    }
    return any;
}

void WakeWatcher::tell() {
    trigger_.networkChanged({state_, primary_.toStdString(), defaultRoute()});
}

// The state before the first change, asked without waiting for the answer.
void WakeWatcher::askNetworkState() {
    QDBusMessage ask = QDBusMessage::createMethodCall(kNetworkManager, kNetworkManagerPath,
                                                      kProperties, QStringLiteral("GetAll"));
    ask << kNetworkManager;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<QVariantMap> reply = *call;
                // A change that came first is newer than this answer.
                if (reply.isError() || networkStateSeen_) return;
                if (take(reply.value())) tell();
            });
}
