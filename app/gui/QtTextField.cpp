// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtTextField.h"

#include <QLineEdit>

QtTextField::QtTextField(QLineEdit* edit) : edit_(edit) {}

QtTextField::QtTextField(std::function<QLineEdit*()> build) : edit_(std::move(build)) {}

std::string QtTextField::stringValue() const {
    QLineEdit* edit = edit_.get();
    return edit ? edit->text().toStdString() : std::string();
}

void QtTextField::setStringValue(const std::string& value) {
    // The status line is set once a second with the same text: only a change repaints.
    const QString text = QString::fromStdString(value);
    QLineEdit* edit = edit_.get();
    if (edit && edit->text() != text) edit->setText(text);
}

bool QtTextField::isEnabled() const {
    QLineEdit* edit = edit_.get();
    return edit && edit->isEnabled();
}

void QtTextField::setEnabled(bool enabled) {
    if (QLineEdit* edit = edit_.get()) edit->setEnabled(enabled);
}
