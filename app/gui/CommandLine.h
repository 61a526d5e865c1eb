#pragma once

#include <QCommandLineParser>
#include <optional>

// The command-line options, beside the normal start without any. --help and --version answer
// before any window system is touched, so they work without a display. Adding an option is one
// line in the constructor; main() asks isSet() for it.
class CommandLine {
public:
    CommandLine();

    // Before QApplication exists: with nothing but our options, prints the help or the version
    // and gives the exit status 0; otherwise gives nothing.
    std::optional<int> answerEarly(int argc, char* argv[]);
    // After QApplication has taken its own options (-platform, -style, ...): anything left that
    // is not ours is refused with a message on standard error and status 1; then as above.
    // Nothing given means: start the application.
    std::optional<int> checkRest(const QStringList& arguments);

    bool isSet(const QString& name) const;

private:
    std::optional<int> answer();

    QCommandLineParser parser_;
};
