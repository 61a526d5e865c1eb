// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// The key-file editor: one private key file per line, optionally followed by ":" and its
// passphrase. Window-modal on the preferences window.
class KeyFilesDialog : public QDialog {
    Q_OBJECT
public:
    explicit KeyFilesDialog(QWidget* parent);

    QPlainTextEdit* keyFiles;
    QPushButton* okButton;
    QPushButton* cancelButton;
};
