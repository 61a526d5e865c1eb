// SPDX-License-Identifier: GPL-3.0-or-later
#include "SingleInstance.h"

#include "ApplicationBusAdaptor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServer>
#include <QDeadlineTimer>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <signal.h>

const QString SingleInstance::kBusName = QStringLiteral("example.quillbore.QuillboreSSH");
const QString SingleInstance::kObjectPath = QStringLiteral("/example/quillbore/QuillboreSSH");
const QString SingleInstance::kInterface = QStringLiteral("example.quillbore.QuillboreSSH1");

namespace {

// How long a later launch waits for the running one to answer. One that is busy (a modal
// dialog, say) finds the request in its queue afterwards.
constexpr int kAnswerMs = 5000;
// How many times a later launch tries again when the running one ended meanwhile.
constexpr int kAttempts = 3;
// How long a command waits for the running one's answer.
constexpr int kCommandAnswerMs = 10000;
// How long a later launch waits for the lock's owner to accept on its socket.
constexpr int kListenWaitMs = 1000;

void say(const QString& text) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::arguments().value(0)),
                 qPrintable(text));
}

// A call of `method` of our interface; `service` is empty on a peer connection.
QDBusMessage methodCall(const QString& service, const QString& method,
                        const QVariantList& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, SingleInstance::kObjectPath,
                                                       SingleInstance::kInterface, method);
    call.setArguments(arguments);
    return call;
}

// No one owns the bus name.
bool isNoOwner(const QString& error) {
    return error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

// The call was delivered but not answered in time.
bool isNoAnswer(const QString& error) {
    return error == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
           error == QLatin1String("org.freedesktop.DBus.Error.Timeout");
}

// A D-Bus server address for a socket path: bytes other than these are written %XX.
QString unixAddress(const QString& path) {
    QString address = QStringLiteral("unix:path=");
    for (const char byte : path.toLocal8Bit()) {
        const auto c = static_cast<unsigned char>(byte);
        if (std::isalnum(c) || std::strchr("-_/.*", c))
            address += QLatin1Char(byte);
        else
            address +=
                QLatin1Char('%') + QString::number(c, 16).rightJustified(2, QLatin1Char('0'));
    }
    return address;
}

// $XDG_RUNTIME_DIR, or else a private folder of this user in the temporary folder; empty when
// there is neither.
QString runtimeFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString lockPath(const QString& folder) {
    return folder + QStringLiteral("/quillbore-ssh.lock");
}

QString socketAddressIn(const QString& folder) {
    return unixAddress(folder + QStringLiteral("/quillbore-ssh.socket"));
}

// Whether a live process holds the lock, without taking it.
bool lockIsHeld(const QString& path) {
    qint64 pid = 0;
    QString host, application;
    if (!QLockFile(path).getLockInfo(&pid, &host, &application) || pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {
    new ApplicationBusAdaptor(this);
}

SingleInstance::~SingleInstance() {
    if (ownsBusName_) QDBusConnection::sessionBus().interface()->unregisterService(kBusName);
    delete server_; // closes and removes its socket while the lock is still held
    // lock_ unlocks (and removes the lock file) as it goes.
}

SingleInstance::Claim SingleInstance::claim() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The object comes first: a call that follows the name at once finds it.
    onBus_ =
        bus.isConnected() && bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors);
    if (!onBus_ && !prepareLock()) return Claim::First;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (onBus_ ? ownBusName() : ownLock()) return Claim::First;
        switch (onBus_ ? askBusOwner() : askLockOwner()) {
        case Answer::Done:
            return Claim::HandedOver;
        case Answer::Busy:
            say(QStringLiteral("QuillboreSSH is running but busy: its window comes up when it is "
                               "free"));
            return Claim::HandedOver;
        case Answer::Gone:
            continue;
        case Answer::Refused:
            return Claim::Unreachable;
        }
    }
    say(QStringLiteral("QuillboreSSH is running already but does not answer"));
    return Claim::Unreachable;
}

void SingleInstance::activate() {
    if (activate_)
        activate_();
    else
        activatePending_ = true;
}

void SingleInstance::setActivate(std::function<void()> activate) {
    activate_ = std::move(activate);
    if (activatePending_ && activate_) {
        activatePending_ = false;
        activate_();
    }
}

bool SingleInstance::ownBusName() {
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        QDBusConnection::sessionBus().interface()->registerService(
            kBusName, QDBusConnectionInterface::DontQueueService,
            QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        // A bus that refuses the name leaves nothing to go by: run, as without the check.
        say(QStringLiteral("cannot own %1 on the session bus: %2")
                .arg(kBusName, reply.error().message()));
        return true;
    }
    ownsBusName_ = reply.value() == QDBusConnectionInterface::ServiceRegistered;
    return ownsBusName_;
}

SingleInstance::Answer SingleInstance::askBusOwner() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusMessage reply =
        bus.call(methodCall(kBusName, QStringLiteral("Activate")), QDBus::Block, kAnswerMs);
    if (reply.type() == QDBusMessage::ReplyMessage) return Answer::Done;
    const QString error = reply.errorName();
    if (isNoOwner(error)) return Answer::Gone;
    // No answer: the owner is busy, or ended without answering.
    if (isNoAnswer(error))
        return bus.interface()->isServiceRegistered(kBusName) ? Answer::Busy : Answer::Gone;
    say(QStringLiteral("%1 on the session bus does not answer Activate: %2")
            .arg(kBusName, reply.errorMessage()));
    return Answer::Refused;
}

bool SingleInstance::prepareLock() {
    const QString folder = runtimeFolder();
    if (folder.isEmpty()) {
        say(QStringLiteral("no runtime folder: another QuillboreSSH would not be noticed"));
        return false;
    }
    lock_ = std::make_unique<QLockFile>(lockPath(folder));
    // Stale only when the process that holds it is gone, however old it is.
    lock_->setStaleLockTime(0);
    socketAddress_ = socketAddressIn(folder);
    return true;
}

bool SingleInstance::ownLock() {
    if (!lock_->tryLock(0)) {
        if (lock_->error() == QLockFile::LockFailedError) return false;
        say(QStringLiteral("cannot lock %1: another QuillboreSSH would not be noticed")
                .arg(lock_->fileName()));
        return true;
    }
    // A socket left by a process that was killed is replaced. Only peers of this user get in.
    server_ = new QDBusServer(socketAddress_);
    if (!server_->isConnected()) {
        say(QStringLiteral("cannot listen on %1: %2")
                .arg(socketAddress_, server_->lastError().message()));
        return true;
    }
    connect(server_, &QDBusServer::newConnection, this, [this](const QDBusConnection& peer) {
        QDBusConnection(peer).registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors);
    });
    return true;
}

SingleInstance::Answer SingleInstance::askLockOwner() {
    const QString name = QStringLiteral("quillbore-ssh-running");
    // The owner listens right after it has locked; a launch at that moment waits a little.
    QDBusConnection peer = connectToOwner(socketAddress_, name, kListenWaitMs);
    Answer answer = Answer::Gone;
    if (peer.isConnected()) {
        const QDBusMessage reply =
            peer.call(methodCall({}, QStringLiteral("Activate")), QDBus::Block, kAnswerMs);
        const QString error = reply.errorName();
        if (reply.type() == QDBusMessage::ReplyMessage)
            answer = Answer::Done;
        else if (!peer.isConnected() ||
                 error == QLatin1String("org.freedesktop.DBus.Error.Disconnected"))
            answer = Answer::Gone;
        else if (isNoAnswer(error))
            answer = Answer::Busy;
        else {
            say(QStringLiteral("%1 does not answer Activate: %2")
                    .arg(socketAddress_, reply.errorMessage()));
            answer = Answer::Refused;
        }
    }
    QDBusConnection::disconnectFromPeer(name);
    return answer;
}

QDBusConnection SingleInstance::connectToOwner(const QString& socketAddress, const QString& name,
                                               int waitMs) {
    const QDeadlineTimer deadline(waitMs);
    QDBusConnection peer = QDBusConnection::connectToPeer(socketAddress, name);
    while (!peer.isConnected() && !deadline.hasExpired()) {
        QDBusConnection::disconnectFromPeer(name);
        QThread::msleep(50);
        peer = QDBusConnection::connectToPeer(socketAddress, name);
    }
    return peer;
}

std::optional<QDBusMessage> SingleInstance::askRunning(const QString& method,
                                                       const QVariantList& arguments) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage reply =
            bus.call(methodCall(kBusName, method, arguments), QDBus::Block, kCommandAnswerMs);
        if (isNoOwner(reply.errorName())) return std::nullopt;
        return reply;
    }
    const QString folder = runtimeFolder();
    if (folder.isEmpty()) return std::nullopt;
    const QString name = QStringLiteral("quillbore-ssh-command");
    // A lock without a live owner, or an owner that never listens, is no running application:
    // a start would take the lock over.
    QDBusConnection peer = connectToOwner(socketAddressIn(folder), name,
                                          lockIsHeld(lockPath(folder)) ? kListenWaitMs : 0);
    std::optional<QDBusMessage> reply;
    if (peer.isConnected())
        reply = peer.call(methodCall({}, method, arguments), QDBus::Block, kCommandAnswerMs);
    QDBusConnection::disconnectFromPeer(name);
    return reply;
}
