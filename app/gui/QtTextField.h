// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LazyWidget.h"
#include "controller/toolkit.h"

#include <QLineEdit>
#include <functional>

// A single-line text field; password fields are QLineEdits in password echo mode. The field
// may belong to a window that is built on first use: `build` then returns it.
class QtTextField : public TextField {
public:
    explicit QtTextField(QLineEdit* edit);
    explicit QtTextField(std::function<QLineEdit*()> build);

    std::string stringValue() const override;
    void setStringValue(const std::string& value) override;
    bool isEnabled() const override;
    void setEnabled(bool enabled) override;

    QLineEdit* widget() const { return edit_.get(); }

private:
    LazyWidget<QLineEdit> edit_;
};
