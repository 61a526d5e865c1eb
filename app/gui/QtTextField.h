#pragma once

#include "controller/toolkit.h"

#include <QLineEdit>
#include <QPointer>

// A single-line text field; password fields are QLineEdits in password echo mode.
class QtTextField : public TextField {
public:
    explicit QtTextField(QLineEdit* edit);

    std::string stringValue() const override;
    void setStringValue(const std::string& value) override;
    bool isEnabled() const override;
    void setEnabled(bool enabled) override;

    QLineEdit* widget() const { return edit_; }

private:
    QPointer<QLineEdit> edit_;
};
