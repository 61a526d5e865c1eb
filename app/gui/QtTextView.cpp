// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtTextView.h"

#include <QPlainTextEdit>

QtTextView::QtTextView(QPlainTextEdit* edit) : edit_(edit) {}

QtTextView::QtTextView(std::function<QPlainTextEdit*()> build) : edit_(std::move(build)) {}

std::string QtTextView::string() const {
    QPlainTextEdit* edit = edit_.get();
    return edit ? edit->toPlainText().toStdString() : std::string();
}

void QtTextView::setString(const std::string& value) {
    if (QPlainTextEdit* edit = edit_.get()) edit->setPlainText(QString::fromStdString(value));
}
