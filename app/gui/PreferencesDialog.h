// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The preferences window. The three connection modes are plain check boxes: MyPrefs keeps
// them mutually exclusive, so they are deliberately not in an exclusive button group.
class PreferencesDialog : public QDialog {
    Q_OBJECT
public:
    explicit PreferencesDialog(QWidget* parent);

    QCheckBox* keyOption;
    QCheckBox* comOption;
    QCheckBox* askPass;
    QCheckBox* usePrompt;
    QCheckBox* reconOption;
    QLineEdit* commandInfo;
    QLineEdit* commandArgs;
    QPushButton* keyFilesButton;
    QPushButton* saveButton;
    QPushButton* cancelButton;
    QLabel* versionLabel;
};
