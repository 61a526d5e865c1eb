// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

// The add and the edit window: the same form. The add form takes several listen ports and
// forward addresses, comma-separated, in pairs. Not modal: the main window stays usable.
class ServiceFormDialog : public QDialog {
    Q_OBJECT
public:
    enum class Kind { Add, Edit };
    ServiceFormDialog(Kind kind, QWidget* parent);

    QLineEdit* serverAddress;
    QLineEdit* userName;
    QLineEdit* userPassword;
    QLineEdit* serverPort;
    QLineEdit* forwardInfo;
    QCheckBox* isSocks;
    QCheckBox* reverseButton;
    QPushButton* okButton;
    QPushButton* cancelButton;
};
