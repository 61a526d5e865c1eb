// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controller/toolkit.h"

#include <QPointer>

class QWidget;

// Asks for a password in a modal dialog with a masked field. Cancel answers nothing.
class QtPasswordPrompt : public PasswordPrompt {
public:
    explicit QtPasswordPrompt(QWidget* parent);

    std::optional<std::string> askPassword(const std::string& title,
                                           const std::string& prompt) override;

private:
    QPointer<QWidget> parent_;
};
