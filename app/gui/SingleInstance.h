#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QDBusServer;
class QLockFile;

// One running application per user and desktop session. main() calls claim() before anything
// of the application is built. The first launch owns the name example.quillbore.QuillboreSSH on
// the session bus and serves, with this object at /example/quillbore/QuillboreSSH, the
// interface example.quillbore.QuillboreSSH1 (ApplicationBusAdaptor); a later launch calls its
// Activate() and ends. Without a session bus a lock file in the runtime folder
// ($XDG_RUNTIME_DIR) decides who is first, and the first serves the same object and interface
// on a private D-Bus socket beside it (peer to peer, no bus; Qt Network is not needed). A lock
// left by a process that is gone is taken over.
//
// A method of the interface is a slot of ApplicationBusAdaptor calling an operation here, whose
// work the application hands in once it exists; what arrives before that waits for it.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        First,       // this is the application: go on
        HandedOver,  // the running one was asked to show its window: end with status 0
        Unreachable, // one runs but could not be asked (said on standard error): status 1
    };

    static const QString kBusName;
    static const QString kObjectPath;
    static const QString kInterface;

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    Claim claim();

    // Shows and raises the main window.
    void activate();
    void setActivate(std::function<void()> activate);

private:
    enum class Answer { Done, Busy, Gone, Refused };

    bool ownBusName();
    Answer askBusOwner();
    bool prepareLock();
    bool ownLock();
    Answer askLockOwner();

    bool onBus_ = false;
    bool ownsBusName_ = false;
    QString socketAddress_;
    std::unique_ptr<QLockFile> lock_;
    QDBusServer* server_ = nullptr;
    std::function<void()> activate_;
    bool activatePending_ = false;
};
