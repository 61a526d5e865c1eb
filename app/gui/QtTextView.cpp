#include "QtTextView.h"

#include <QPlainTextEdit>

QtTextView::QtTextView(QPlainTextEdit* edit) : edit_(edit) {}

std::string QtTextView::string() const {
    return edit_ ? edit_->toPlainText().toStdString() : std::string();
}

void QtTextView::setString(const std::string& value) {
    if (edit_) edit_->setPlainText(QString::fromStdString(value));
}
