// SPDX-License-Identifier: GPL-3.0-or-later
#include "PreferencesDialog.h"

#include "QuillboreVersion.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

PreferencesDialog::PreferencesDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutWindow"));
    setWindowTitle(tr("Preferences"));
    setModal(false);

    auto* modes = new QGroupBox(tr("Connect services with"), this);
    keyOption = new QCheckBox(tr("&Key files (ssh with the keys in the agent)"), modes);
    comOption = new QCheckBox(tr("My own &command instead of ssh"), modes);
    askPass = new QCheckBox(tr("&Askpass (the service's password for ssh)"), modes);
    usePrompt =
        new QCheckBox(tr("&Prompt for the password instead of leaving it in a file"), modes);
    commandInfo = new QLineEdit(modes);
    commandInfo->setPlaceholderText(tr("/path/to/program"));
    commandArgs = new QLineEdit(modes);
    commandArgs->setPlaceholderText(tr("%u@%h"));
    commandArgs->setToolTip(tr("Split at blanks. %u is the user name, %h the server, "
                               "%p the password; the forward option and -N are appended."));
    // Initial state without a preferences file: key-file mode.
    keyOption->setChecked(true);
    usePrompt->setEnabled(false);
    commandInfo->setEnabled(false);
    commandArgs->setEnabled(false);

    auto* commandForm = new QFormLayout;
    commandForm->setContentsMargins(24, 0, 0, 0);
    auto* commandLabel = new QLabel(tr("Co&mmand:"), modes);
    commandLabel->setBuddy(commandInfo);
    auto* argsLabel = new QLabel(tr("Ar&guments:"), modes);
    argsLabel->setBuddy(commandArgs);
    commandForm->addRow(commandLabel, commandInfo);
    commandForm->addRow(argsLabel, commandArgs);

    auto* promptRow = new QVBoxLayout;
    promptRow->setContentsMargins(24, 0, 0, 0);
    promptRow->addWidget(usePrompt);

    auto* modesLayout = new QVBoxLayout(modes);
    modesLayout->addWidget(keyOption);
    modesLayout->addWidget(comOption);
    modesLayout->addLayout(commandForm);
    modesLayout->addWidget(askPass);
    modesLayout->addLayout(promptRow);

    reconOption = new QCheckBox(tr("&Reconnect services whose connection ends"), this);

    keyFilesButton = new QPushButton(tr("Key &Files…"), this);
    keyFilesButton->setToolTip(tr("The private key files loaded into the agent"));
    keyFilesButton->setAutoDefault(false);

    auto* box = new QDialogButtonBox(this);
    saveButton = box->addButton(QDialogButtonBox::Save);
    cancelButton = box->addButton(QDialogButtonBox::Cancel);
    saveButton->setDefault(true);
    saveButton->setObjectName(QStringLiteral("saveButton"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(modes);
    layout->addWidget(reconOption);
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(keyFilesButton);
    buttons->addStretch(1);
    buttons->addWidget(box);
    layout->addLayout(buttons);

    versionLabel =
        new QLabel(QStringLiteral("QuillboreSSH ") + QLatin1String(kQuillboreVersion), this);
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    versionLabel->setEnabled(false); // drawn dimmed: information, not a control
    layout->addWidget(versionLabel, 0, Qt::AlignRight);

    setTabOrder(keyOption, comOption);
    setTabOrder(comOption, commandInfo);
    setTabOrder(commandInfo, commandArgs);
    setTabOrder(commandArgs, askPass);
    setTabOrder(askPass, usePrompt);
    setTabOrder(usePrompt, reconOption);
    setTabOrder(reconOption, keyFilesButton);

    setMinimumWidth(440);
    resize(480, sizeHint().height());
}
