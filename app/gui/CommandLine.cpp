// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "desktop/RemoteCommands.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

// The options that make a command for the running application, and its D-Bus method.
struct CommandOption {
    const char* name;
    const char* method;
    bool namesService;
};
constexpr CommandOption kCommands[] = {
    {"status", "Status", false},      {"start", "Start", true},       {"stop", "Stop", true},
    {"start-all", "StartAll", false}, {"stop-all", "StopAll", false},
};

// The command option that `argument` (-name, --name, or either with =value) is, if any.
const CommandOption* commandOption(const QString& argument) {
    if (!argument.startsWith(QLatin1Char('-'))) return nullptr;
    QString name = argument.section(QLatin1Char('='), 0, 0);
    name.remove(0, name.startsWith(QLatin1String("--")) ? 2 : 1);
    for (const CommandOption& option : kCommands)
        if (name == QLatin1String(option.name)) return &option;
    return nullptr;
}

} // namespace

CommandLine::CommandLine() {
    parser_.setApplicationDescription(
        QStringLiteral("Keeps a list of SSH tunnels and runs each one as a supervised ssh.\n"
                       "The commands act on the running QuillboreSSH (see man quillbore-ssh)."));
    // Qt's own options are single-dash words (-platform, -reverse); read them as words, not as
    // bundles of letters that could contain -h or -v.
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QString service = QStringLiteral("N|HOST:PORT");
    // One line per option (describe it in packaging/man/quillbore-ssh.1.in too).
    parser_.addOptions({
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")},
        {{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Show the version.")},
        {QStringLiteral("hidden"),
         QStringLiteral("Start with the window hidden in the tray, when there is one "
                        "(the start at login does).")},
        {QStringLiteral("status"),
         QStringLiteral("List the services, one a line: row, server, listen port, tunnel and "
                        "status, separated by tabs.")},
        {QStringLiteral("start"),
         QStringLiteral("Start the service in row N, or the one with server HOST and listen "
                        "port PORT."),
         service},
        {QStringLiteral("stop"), QStringLiteral("Stop that service."), service},
        {QStringLiteral("start-all"), QStringLiteral("Start every service, when none runs.")},
        {QStringLiteral("stop-all"), QStringLiteral("Stop every service.")},
    });
}

std::optional<int> CommandLine::answerEarly(int argc, char* argv[]) {
    for (int i = 0; i < argc; ++i)
        given_ << QString::fromLocal8Bit(argv[i]);
    const QString program = given_.value(0);
    // Anything unknown here may be one of Qt's options: then checkRest() answers, once
    // QApplication has taken them. Any other fault is ours alone (a missing value).
    if (!parser_.parse(given_))
        return parser_.unknownOptionNames().isEmpty()
                   ? std::optional<int>(refuse(program, parser_.errorText()))
                   : std::nullopt;
    if (!parser_.positionalArguments().isEmpty()) return std::nullopt;
    std::optional<QCoreApplication> core; // gives helpText() the program name as invoked
    if (parser_.isSet(QStringLiteral("help"))) core.emplace(argc, argv);
    return answer(program);
}

std::optional<int> CommandLine::checkRest(const QStringList& arguments) {
    QString error;
    const QString program = arguments.isEmpty() ? QString() : arguments.first();
    if (!parser_.parse(arguments))
        error = parser_.errorText();
    else if (!parser_.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument: ") + parser_.positionalArguments().first();
    if (error.isEmpty()) return answer(program);
    return refuse(program, error);
}

int CommandLine::refuse(const QString& program, const QString& error) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", qPrintable(program), qPrintable(error),
                 qPrintable(program));
    return kUsageError;
}

std::optional<int> CommandLine::answer(const QString& program) {
    if (parser_.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser_.helpText()), stdout);
        return 0;
    }
    if (parser_.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    const CommandOption* chosen = nullptr;
    qsizetype count = 0;
    for (const CommandOption& option : kCommands) {
        const QString name = QLatin1String(option.name);
        if (!parser_.isSet(name)) continue;
        chosen = &option;
        count += option.namesService ? parser_.values(name).size() : 1;
    }
    if (count > 1)
        return refuse(program, QStringLiteral("Give one command at a time: --status, --start, "
                                              "--stop, --start-all or --stop-all."));
    if (!chosen) return std::nullopt;
    Command command{QLatin1String(chosen->method), {}};
    if (chosen->namesService) {
        command.service = parser_.value(QLatin1String(chosen->name));
        if (!RemoteCommands::isServiceReference(command.service.toStdString()))
            return refuse(program, QStringLiteral("'%1' names no service: give its row number "
                                                  "or HOST:PORT, its server and listen port.")
                                       .arg(command.service));
    }
    command_ = command;
    return std::nullopt;
}

bool CommandLine::isSet(const QString& name) const {
    return parser_.isSet(name);
}

QStringList CommandLine::launchArguments() const {
    QStringList arguments;
    for (qsizetype i = 1; i < given_.size(); ++i) {
        const CommandOption* option = commandOption(given_[i]);
        if (!option)
            arguments << given_[i];
        else if (option->namesService && !given_[i].contains(QLatin1Char('=')))
            ++i; // its value follows
    }
    return arguments << QStringLiteral("--hidden");
}
