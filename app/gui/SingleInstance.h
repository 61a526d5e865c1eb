// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <functional>
#include <memory>
#include <optional>

class QDBusConnection;
class QDBusMessage;
class QDBusServer;
class QLockFile;
class RemoteCommands;

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
// work the application hands in once it exists; what arrives before that waits for it (Activate)
// or is answered with an error (the commands). A command from the command line asks the running
// application through askRunning(), which claims nothing. The context of a call (QDBusContext,
// for an error reply) of a method of the adaptor is this object's, its parent.
class SingleInstance : public QObject, public QDBusContext {
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

    // What the commands of the interface act on, once the application exists.
    void setCommands(RemoteCommands* commands) { commands_ = commands; }
    RemoteCommands* commands() const { return commands_; }

    // The running application's reply to `method` of the interface, or none when none runs.
    // Claims no name, takes no lock and writes nothing.
    static std::optional<QDBusMessage> askRunning(const QString& method,
                                                  const QVariantList& arguments = {});

private:
    enum class Answer { Done, Busy, Gone, Refused };

    bool ownBusName();
    Answer askBusOwner();
    bool prepareLock();
    bool ownLock();
    Answer askLockOwner();
    // A connection to the running application's socket, trying for up to `waitMs` while it
    // does not accept yet; not connected when it never did.
    static QDBusConnection connectToOwner(const QString& socketAddress, const QString& name,
                                          int waitMs);

    bool onBus_ = false;
    bool ownsBusName_ = false;
    QString socketAddress_;
    std::unique_ptr<QLockFile> lock_;
    QDBusServer* server_ = nullptr;
    std::function<void()> activate_;
    bool activatePending_ = false;
    RemoteCommands* commands_ = nullptr;
};
