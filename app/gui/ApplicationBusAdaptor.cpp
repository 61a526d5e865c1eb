// SPDX-License-Identifier: GPL-3.0-or-later
#include "ApplicationBusAdaptor.h"

#include "SingleInstance.h"

#include <QDBusMetaType>

const QString ApplicationBusAdaptor::kRefused =
    QStringLiteral("example.quillbore.QuillboreSSH1.Error.Refused");

QDBusArgument& operator<<(QDBusArgument& argument, const RemoteCommands::Row& row) {
    argument.beginStructure();
    argument << row.row << QString::fromStdString(row.server)
             << QString::fromStdString(row.listenPort) << QString::fromStdString(row.tunnel)
             << QString::fromStdString(row.status);
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, RemoteCommands::Row& row) {
    QString server, listenPort, tunnel, status;
    argument.beginStructure();
    argument >> row.row >> server >> listenPort >> tunnel >> status;
    argument.endStructure();
    row.server = server.toStdString();
    row.listenPort = listenPort.toStdString();
    row.tunnel = tunnel.toStdString();
    row.status = status.toStdString();
    return argument;
}

ApplicationBusAdaptor::ApplicationBusAdaptor(SingleInstance* instance)
    : QDBusAbstractAdaptor(instance), instance_(instance) {
    qDBusRegisterMetaType<RemoteCommands::Row>();
    qDBusRegisterMetaType<QList<RemoteCommands::Row>>();
}

void ApplicationBusAdaptor::Activate() {
    instance_->activate();
}

RemoteCommands* ApplicationBusAdaptor::commands() {
    if (!instance_->commands())
        instance_->sendErrorReply(QDBusError::Failed,
                                  QStringLiteral("QuillboreSSH is still starting"));
    return instance_->commands();
}

void ApplicationBusAdaptor::refuseIfAny(const std::string& refusal) {
    if (!refusal.empty()) instance_->sendErrorReply(kRefused, QString::fromStdString(refusal));
}

QList<RemoteCommands::Row> ApplicationBusAdaptor::Status() {
    QList<RemoteCommands::Row> rows;
    if (RemoteCommands* c = commands())
        for (const RemoteCommands::Row& row : c->status())
            rows << row;
    return rows;
}

void ApplicationBusAdaptor::Start(const QString& service) {
    if (RemoteCommands* c = commands()) refuseIfAny(c->start(service.toStdString()));
}

void ApplicationBusAdaptor::Stop(const QString& service) {
    if (RemoteCommands* c = commands()) refuseIfAny(c->stop(service.toStdString()));
}

void ApplicationBusAdaptor::StartAll() {
    if (RemoteCommands* c = commands()) refuseIfAny(c->startAll());
}

void ApplicationBusAdaptor::StopAll() {
    if (RemoteCommands* c = commands()) refuseIfAny(c->stopAll());
}
