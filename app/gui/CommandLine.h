// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <optional>

// The command-line options, beside the normal start without any. --help and --version answer
// before any window system is touched, so they work without a display. Adding an option is one
// line in the constructor; main() asks isSet() for it. The commands for the running application
// (--status, --start, ...) are kept as command(); CommandClient carries them out.
class CommandLine {
public:
    // A command for the running application: a method of its D-Bus interface, with the service
    // that Start and Stop act on.
    struct Command {
        QString method;  // Status, Start, Stop, StartAll or StopAll
        QString service; // a row number or HOST:PORT, for Start and Stop
    };
    static constexpr int kUsageError = 2;

    CommandLine();

    // Before QApplication exists: with nothing but our options, prints the help or the version
    // and gives the exit status 0, or refuses a wrong use of our options with kUsageError;
    // otherwise gives nothing.
    std::optional<int> answerEarly(int argc, char* argv[]);
    // After QApplication has taken its own options (-platform, -style, ...): anything left that
    // is not ours is refused with a message on standard error and kUsageError; then as above.
    // Nothing given means: start the application, or carry out command().
    std::optional<int> checkRest(const QStringList& arguments);

    bool isSet(const QString& name) const;
    // The command given, once the arguments were understood; none for a start.
    const std::optional<Command>& command() const { return command_; }
    // The arguments for starting the application that is to carry out the command: those given
    // (Qt's own options too) without the command, and --hidden.
    QStringList launchArguments() const;

private:
    std::optional<int> answer(const QString& program);
    int refuse(const QString& program, const QString& error);

    QCommandLineParser parser_;
    QStringList given_;
    std::optional<Command> command_;
};
