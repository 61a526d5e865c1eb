// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

class RenewalTrigger;

// Tells a RenewalTrigger what the system bus says: logind's PrepareForSleep(false) (the
// computer has resumed) and NetworkManager's state and primary connection, each with the
// default route read from /proc/net/route at that moment. Without a system bus, logind or
// NetworkManager it tells nothing.
class WakeWatcher : public QObject {
    Q_OBJECT
public:
    explicit WakeWatcher(RenewalTrigger& trigger, QObject* parent = nullptr);

private slots:
    void prepareForSleep(bool sleeping);
    void networkStateChanged(uint state);
    void networkPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                  const QStringList& invalidated);

private:
    void askNetworkState();
    bool take(const QVariantMap& properties);
    void tell();

    RenewalTrigger& trigger_;
    bool networkStateSeen_ = false;
    uint state_ = 0;
    QString primary_;
};
