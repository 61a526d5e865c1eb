// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "desktop/RemoteCommands.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QList>
#include <string>

class SingleInstance;

// One service of Status(), (ussss): row, server, listen port, tunnel, status text.
Q_DECLARE_METATYPE(RemoteCommands::Row)
QDBusArgument& operator<<(QDBusArgument& argument, const RemoteCommands::Row& row);
const QDBusArgument& operator>>(const QDBusArgument& argument, RemoteCommands::Row& row);

// The application's own D-Bus interface, example.quillbore.QuillboreSSH1, on the object that
// SingleInstance registers. Each public slot is a method of the interface (Qt derives the
// introspection data from them); it only calls the matching operation of SingleInstance or of
// the application's RemoteCommands. A refusal is the error kRefused with the refusal's text.
// Describe every method in packaging/man/quillbore-ssh.1.in too.
class ApplicationBusAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "example.quillbore.QuillboreSSH1")
public:
    static const QString kRefused;

    explicit ApplicationBusAdaptor(SingleInstance* instance);

public slots:
    // Shows and raises the main window, also when it is hidden in the tray.
    void Activate();
    // Every service, top to bottom as in the table.
    QList<RemoteCommands::Row> Status();
    // The service given by its row number or as HOST:PORT.
    void Start(const QString& service);
    void Stop(const QString& service);
    void StartAll();
    void StopAll();

private:
    // The application's commands; none yet is answered with an error.
    RemoteCommands* commands();
    void refuseIfAny(const std::string& refusal);

    SingleInstance* instance_;
};
