// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LazyWidget.h"
#include "controller/toolkit.h"

#include <QAbstractButton>
#include <QChar>
#include <functional>

// A push button, check box or check-able button. Check-able buttons keep their state in the
// widget; a plain push button remembers the state last set (the logic sets it, nothing reads
// it visibly). Titles are read and set without the mnemonic marker: a new title gets its
// mnemonic on the same letter again, so "St&op Service" becomes "St&op Services". The button
// may belong to a window that is built on first use: `build` then returns it.
class QtButton : public Button {
public:
    explicit QtButton(QAbstractButton* button);
    explicit QtButton(std::function<QAbstractButton*()> build);

    int state() const override;
    void setState(int state) override;
    bool isEnabled() const override;
    void setEnabled(bool enabled) override;
    std::string title() const override;
    void setTitle(const std::string& title) override;
    std::string image() const override;
    void setImage(const std::string& imageName) override;

    QAbstractButton* widget() const { return button_.get(); }

    // Called after every setImage with the new image's name.
    std::function<void(const std::string&)> onImageChanged;

private:
    void learnMnemonic(QAbstractButton* button) { mnemonic_ = mnemonicOf(button->text()); }
    static QChar mnemonicOf(const QString& text);

    // Before the widget: learnt when the widget comes, which may be in the constructor.
    QChar mnemonic_;
    LazyWidget<QAbstractButton> button_;
    int state_ = 0;
    std::string image_;
};
