#include "DesktopShell.h"
#include "NamedImages.h"
#include "QtRunLoop.h"
#include "QuillboreApp.h"
#include "QuitOnSignal.h"
#include "platform/PamAuthorizer.h"
#include "platform/PosixProcessLauncher.h"
#include "platform/SyslogLog.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QuillboreSSH"));
    QApplication::setDesktopFileName(QStringLiteral("quillbore-ssh"));
    QApplication::setWindowIcon(named_images::icon("quillbore-ssh"));

    QtRunLoop runLoop;
    PosixProcessLauncher launcher;
    SyslogLog log;
    PamAuthorizer authorizer;

    QuillboreApp quillbore(runLoop, launcher, log, authorizer);
    // --hidden (the start at login): the window stays hidden when there is a tray for it.
    DesktopShell desktop(quillbore, QApplication::arguments().contains(QStringLiteral("--hidden")));
    QuitOnSignal quitOnSignal;
    quillbore.launch(desktop.showsWindowAtLaunch());
    return app.exec();
}
