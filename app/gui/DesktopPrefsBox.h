// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>

class QCheckBox;

// The desktop preferences, a section of the preferences window of their own.
class DesktopPrefsBox : public QGroupBox {
    Q_OBJECT
public:
    explicit DesktopPrefsBox(QWidget* parent);

    QCheckBox* keepInTray;
    QCheckBox* startAtLogin;
    QCheckBox* startLastRunning;
};
