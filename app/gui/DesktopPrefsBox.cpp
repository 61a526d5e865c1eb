#include "DesktopPrefsBox.h"

#include <QCheckBox>
#include <QVBoxLayout>

DesktopPrefsBox::DesktopPrefsBox(QWidget* parent) : QGroupBox(tr("Desktop"), parent) {
    setObjectName(QStringLiteral("desktopPreferences"));
    keepInTray = new QCheckBox(tr("Keep running in the tray when the window is closed"), this);
    keepInTray->setObjectName(QStringLiteral("keepInTray"));
    startAtLogin = new QCheckBox(tr("Start at login, in the tray"), this);
    startAtLogin->setObjectName(QStringLiteral("startAtLogin"));
    startAtLogin->setToolTip(tr("Starts the application with the window hidden when a tray is "
                                "there, with the window shown otherwise"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(keepInTray);
    layout->addWidget(startAtLogin);
}
