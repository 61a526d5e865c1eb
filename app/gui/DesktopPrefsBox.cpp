// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopPrefsBox.h"

#include <QCheckBox>
#include <QVBoxLayout>

// Alt+D puts the focus on the section's first box, like the mnemonics of the other options.
DesktopPrefsBox::DesktopPrefsBox(QWidget* parent) : QGroupBox(tr("&Desktop"), parent) {
    setObjectName(QStringLiteral("desktopPreferences"));
    keepInTray = new QCheckBox(tr("Keep running in the tray when the window is closed"), this);
    keepInTray->setObjectName(QStringLiteral("keepInTray"));
    startAtLogin = new QCheckBox(tr("Start at login, in the tray"), this);
    startAtLogin->setObjectName(QStringLiteral("startAtLogin"));
    startAtLogin->setToolTip(tr("Starts the application with the window hidden when a tray is "
                                "there, with the window shown otherwise"));
    startLastRunning = new QCheckBox(
        tr("Start the services that were running when the application last ended"), this);
    startLastRunning->setObjectName(QStringLiteral("startLastRunning"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(keepInTray);
    layout->addWidget(startAtLogin);
    layout->addWidget(startLastRunning);
}
