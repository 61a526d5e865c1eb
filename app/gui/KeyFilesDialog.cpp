// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyFilesDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

KeyFilesDialog::KeyFilesDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("keyWindow"));
    setWindowTitle(tr("Key Files"));
    setWindowModality(Qt::WindowModal);

    keyFiles = new QPlainTextEdit(this);
    keyFiles->setObjectName(QStringLiteral("keyFiles"));
    keyFiles->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    keyFiles->setLineWrapMode(QPlainTextEdit::NoWrap);
    keyFiles->setTabChangesFocus(true);
    keyFiles->setPlaceholderText(tr("/home/me/.ssh/id_ed25519\n/home/me/.ssh/work_key:passphrase"));

    auto* label = new QLabel(tr("Private &key files to load into the SSH agent, one per line. "
                                "A passphrase follows the path after a colon. They are saved "
                                "with the preferences."),
                             this);
    label->setWordWrap(true);
    label->setBuddy(keyFiles);

    auto* box = new QDialogButtonBox(this);
    okButton = box->addButton(QDialogButtonBox::Ok);
    cancelButton = box->addButton(QDialogButtonBox::Cancel);
    okButton->setDefault(false);
    okButton->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(keyFiles, 1);
    layout->addWidget(box);
    resize(480, 280);
}
