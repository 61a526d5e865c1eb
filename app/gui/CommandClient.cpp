// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandClient.h"

#include "ApplicationBusAdaptor.h"
#include "SingleInstance.h"
#include "desktop/RemoteCommands.h"
#include "platform/Accounts.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <signal.h>

namespace {

// How long a start of the application may take until it answers.
constexpr int kLaunchMs = 20000;
constexpr unsigned long kLaunchPollMs = 100;

void say(const QString& text) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::arguments().value(0)),
                 qPrintable(text));
}

void print(const std::vector<RemoteCommands::Row>& rows) {
    for (const RemoteCommands::Row& row : rows)
        std::printf("%s\n", RemoteCommands::line(row).c_str());
}

} // namespace

int CommandClient::run() {
    std::optional<QDBusMessage> reply = ask();
    if (!reply && line_.command()->method == QLatin1String("Status")) return printSaved();
    if (!reply) reply = launchAndAsk();
    return reply ? report(*reply) : 1;
}

std::optional<QDBusMessage> CommandClient::ask() const {
    const CommandLine::Command& command = *line_.command();
    QVariantList arguments;
    if (!command.service.isEmpty()) arguments << command.service;
    return SingleInstance::askRunning(command.method, arguments);
}

std::optional<QDBusMessage> CommandClient::launchAndAsk() const {
    QProcess app;
    app.setProgram(QCoreApplication::applicationFilePath());
    app.setArguments(line_.launchArguments());
    // The application outlives this command: it must not hold a pipe that a caller reads to
    // its end, as in $(quillbore-ssh --start 1).
    app.setStandardInputFile(QProcess::nullDevice());
    app.setStandardOutputFile(QProcess::nullDevice());
    app.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!app.startDetached(&pid)) {
        say(QStringLiteral("cannot start %1: %2").arg(app.program(), app.errorString()));
        return std::nullopt;
    }
    // Asked once more after it has ended: it may have handed over to one started meanwhile.
    const QDeadlineTimer deadline(kLaunchMs);
    for (;;) {
        const bool ended = ::kill(static_cast<pid_t>(pid), 0) != 0;
        if (std::optional<QDBusMessage> reply = ask()) return reply;
        if (ended) {
            say(QStringLiteral("QuillboreSSH ended before it could take the command (is there a "
                               "display?)"));
            return std::nullopt;
        }
        if (deadline.hasExpired()) break;
        QThread::msleep(kLaunchPollMs);
    }
    say(QStringLiteral("QuillboreSSH was started but does not answer"));
    return std::nullopt;
}

int CommandClient::report(const QDBusMessage& reply) const {
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (reply.errorName() == ApplicationBusAdaptor::kRefused)
            std::fprintf(stderr, "%s\n", qPrintable(reply.errorMessage()));
        else
            say(QStringLiteral("QuillboreSSH does not answer: ") + reply.errorMessage());
        return 1;
    }
    if (line_.command()->method == QLatin1String("Status")) {
        qDBusRegisterMetaType<RemoteCommands::Row>();
        const auto rows = qdbus_cast<QList<RemoteCommands::Row>>(reply.arguments().value(0));
        print(std::vector<RemoteCommands::Row>(rows.begin(), rows.end()));
    }
    return 0;
}

int CommandClient::printSaved() const {
    const std::optional<std::string> home = accounts::homeDirectory();
    const std::optional<std::string> login = accounts::loginName();
    if (!home || !login) {
        say(QStringLiteral("no account record for this user (getpwuid)"));
        return 1;
    }
    print(RemoteCommands::savedServices(*home, *login));
    return 0;
}
