#pragma once

#include <QDBusAbstractAdaptor>

class SingleInstance;

// The application's own D-Bus interface, example.quillbore.QuillboreSSH1, on the object that
// SingleInstance registers. Each public slot is a method of the interface (Qt derives the
// introspection data from them); it only calls the matching operation of SingleInstance.
// Describe every method in packaging/man/quillbore-ssh.1.in too.
class ApplicationBusAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "example.quillbore.QuillboreSSH1")
public:
    explicit ApplicationBusAdaptor(SingleInstance* instance);

public slots:
    // Shows and raises the main window, also when it is hidden in the tray.
    void Activate();

private:
    SingleInstance* instance_;
};
