#pragma once

#include <QObject>

class QNetworkInformation;

// Tells when network connections are likely stale: logind's PrepareForSleep(false) on the
// system bus (the computer has resumed), and Qt's network reachability turning online again
// after it was not. Without a system bus, logind or a reachability backend it stays silent.
class WakeWatcher : public QObject {
    Q_OBJECT
public:
    explicit WakeWatcher(QObject* parent = nullptr);

signals:
    void connectionsMayBeStale();

private slots:
    void prepareForSleep(bool sleeping);

private:
    void watchNetwork();
    bool offline_ = false;
};
