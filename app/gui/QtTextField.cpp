#include "QtTextField.h"

#include <QLineEdit>

QtTextField::QtTextField(QLineEdit* edit) : edit_(edit) {}

std::string QtTextField::stringValue() const {
    return edit_ ? edit_->text().toStdString() : std::string();
}

void QtTextField::setStringValue(const std::string& value) {
    // The status line is set once a second with the same text: only a change repaints.
    const QString text = QString::fromStdString(value);
    if (edit_ && edit_->text() != text) edit_->setText(text);
}

bool QtTextField::isEnabled() const {
    return edit_ && edit_->isEnabled();
}

void QtTextField::setEnabled(bool enabled) {
    if (edit_) edit_->setEnabled(enabled);
}
