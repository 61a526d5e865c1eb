#pragma once

#include <QObject>

// Tells when network connections are likely stale: logind's PrepareForSleep(false) on the
// system bus (the computer has resumed), and NetworkManager's state turning to full
// connectivity again after it was not. Without a system bus, logind or NetworkManager it
// stays silent.
class WakeWatcher : public QObject {
    Q_OBJECT
public:
    explicit WakeWatcher(QObject* parent = nullptr);

signals:
    void connectionsMayBeStale();

private slots:
    void prepareForSleep(bool sleeping);
    void networkStateChanged(uint state);

private:
    void askNetworkState();
    bool networkStateSeen_ = false;
    bool offline_ = false;
};
