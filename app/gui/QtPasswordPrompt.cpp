// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPasswordPrompt.h"

#include <QInputDialog>
#include <QLineEdit>

QtPasswordPrompt::QtPasswordPrompt(QWidget* parent) : parent_(parent) {}

std::optional<std::string> QtPasswordPrompt::askPassword(const std::string& title,
                                                         const std::string& prompt) {
    QInputDialog dialog(parent_);
    dialog.setObjectName(QStringLiteral("passwordPrompt"));
    dialog.setWindowTitle(QString::fromStdString(title));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setLabelText(QString::fromStdString(prompt));
    dialog.setOkButtonText(QInputDialog::tr("Unlock"));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue().toStdString();
}
