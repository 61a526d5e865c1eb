#pragma once

#include "controller/toolkit.h"

#include <QPlainTextEdit>
#include <QPointer>

// Multi-line plain text; lines are separated by LF both ways.
class QtTextView : public TextView {
public:
    explicit QtTextView(QPlainTextEdit* edit);

    std::string string() const override;
    void setString(const std::string& value) override;

    QPlainTextEdit* widget() const { return edit_; }

private:
    QPointer<QPlainTextEdit> edit_;
};
