#include "CommandLine.h"

#include <QCoreApplication>
#include <cstdio>

CommandLine::CommandLine() {
    parser_.setApplicationDescription(
        QStringLiteral("Keeps a list of SSH tunnels and runs each one as a supervised ssh."));
    // Qt's own options are single-dash words (-platform, -reverse); read them as words, not as
    // bundles of letters that could contain -h or -v.
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // One line per option (describe it in packaging/man/quillbore-ssh.1.in too).
    parser_.addOptions({
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")},
        {{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Show the version.")},
        {QStringLiteral("hidden"),
         QStringLiteral("Start with the window hidden in the tray, when there is one "
                        "(the start at login does).")},
    });
}

std::optional<int> CommandLine::answerEarly(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Anything unknown here may be one of Qt's options: then checkRest() answers, once
    // QApplication has taken them.
    if (!parser_.parse(arguments) || !parser_.positionalArguments().isEmpty()) return std::nullopt;
    std::optional<QCoreApplication> core; // gives helpText() the program name as invoked
    if (parser_.isSet(QStringLiteral("help"))) core.emplace(argc, argv);
    return answer();
}

std::optional<int> CommandLine::checkRest(const QStringList& arguments) {
    QString error;
    if (!parser_.parse(arguments))
        error = parser_.errorText();
    else if (!parser_.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument: ") + parser_.positionalArguments().first();
    if (error.isEmpty()) return answer();
    const QString program = arguments.isEmpty() ? QString() : arguments.first();
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", qPrintable(program), qPrintable(error),
                 qPrintable(program));
    return 1;
}

std::optional<int> CommandLine::answer() {
    if (parser_.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser_.helpText()), stdout);
        return 0;
    }
    if (parser_.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    return std::nullopt;
}

bool CommandLine::isSet(const QString& name) const {
    return parser_.isSet(name);
}
