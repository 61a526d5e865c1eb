// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LazyWidget.h"
#include "controller/toolkit.h"

#include <QPlainTextEdit>
#include <functional>

// Multi-line plain text; lines are separated by LF both ways. Like QtTextField, it may
// belong to a window that is built on first use.
class QtTextView : public TextView {
public:
    explicit QtTextView(QPlainTextEdit* edit);
    explicit QtTextView(std::function<QPlainTextEdit*()> build);

    std::string string() const override;
    void setString(const std::string& value) override;

    QPlainTextEdit* widget() const { return edit_.get(); }

private:
    LazyWidget<QPlainTextEdit> edit_;
};
