// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandClient.h"
#include "CommandLine.h"
#include "DesktopShell.h"
#include "NamedImages.h"
#include "QtRunLoop.h"
#include "QuillboreApp.h"
#include "QuillboreVersion.h"
#include "QuitOnSignal.h"
#include "SingleInstance.h"
#include "desktop/RemoteCommands.h"
#include "platform/PamAuthorizer.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/SyslogLog.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

namespace {

// A launch that only talked to the running application (a command, or the hand-over of a
// second launch) ends here, its output written. It skips the program's static destructors:
// Qt D-Bus's thread may still be closing the bus connection while they take Qt's type
// registry away, and would then warn on standard error.
[[noreturn]] void endAfterBusCall(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication::setApplicationName(QStringLiteral("QuillboreSSH"));
    QApplication::setApplicationVersion(QString::fromLatin1(kQuillboreVersion));
    CommandLine commandLine;
    if (std::optional<int> status = commandLine.answerEarly(argc, argv)) return *status;
    // A command for the running application needs no display; with Qt's own options among the
    // arguments it is known once QApplication has taken them.
    if (commandLine.command()) {
        QCoreApplication core(argc, argv);
        endAfterBusCall(CommandClient(commandLine).run());
    }

    QApplication app(argc, argv);
    if (std::optional<int> status = commandLine.checkRest(QApplication::arguments()))
        return *status;
    if (commandLine.command()) endAfterBusCall(CommandClient(commandLine).run());
    // A second launch hands over to the running application before anything of ours is read,
    // written or started.
    SingleInstance instance;
    switch (instance.claim()) {
    case SingleInstance::Claim::First:
        break;
    case SingleInstance::Claim::HandedOver:
        endAfterBusCall(0);
    case SingleInstance::Claim::Unreachable:
        endAfterBusCall(1);
    }
    QApplication::setDesktopFileName(QStringLiteral("quillbore-ssh"));
    QApplication::setWindowIcon(named_images::icon("quillbore-ssh"));

    QtRunLoop runLoop;
    PosixProcessLauncher launcher;
    SyslogLog log;
    PamAuthorizer authorizer;

    QuillboreApp quillbore(runLoop, launcher, log, authorizer);
    // --hidden (the start at login): the window stays hidden when there is a tray for it.
    DesktopShell desktop(quillbore, commandLine.isSet(QStringLiteral("hidden")));
    instance.setActivate([&desktop] { desktop.showWindow(); });
    RemoteCommands commands(quillbore.controller);
    instance.setCommands(&commands);
    QuitOnSignal quitOnSignal;
    quillbore.launch(desktop.showsWindowAtLaunch());
    return app.exec();
}
