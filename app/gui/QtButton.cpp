// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtButton.h"

#include "NamedImages.h"

#include <QAbstractButton>

namespace {

QString withoutMnemonic(QString text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
        out.append(text[i]);
    }
    return out;
}

QString withMnemonic(const QString& plain, QChar mnemonic) {
    QString escaped = plain;
    escaped.replace(QLatin1Char('&'), QLatin1String("&&"));
    if (mnemonic.isNull()) return escaped;
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        if (escaped[i] == mnemonic) return escaped.insert(i, QLatin1Char('&'));
    }
    return escaped;
}

} // namespace

QChar QtButton::mnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] != QLatin1Char('&')) return text[i + 1];
        ++i;
    }
    return {};
}

QtButton::QtButton(QAbstractButton* button)
    : button_(button, [this](QAbstractButton* b) { learnMnemonic(b); }) {}

QtButton::QtButton(std::function<QAbstractButton*()> build)
    : button_(std::move(build), [this](QAbstractButton* b) { learnMnemonic(b); }) {}

int QtButton::state() const {
    QAbstractButton* button = button_.get();
    if (button && button->isCheckable()) return button->isChecked() ? 1 : 0;
    return state_;
}

void QtButton::setState(int state) {
    state_ = state;
    QAbstractButton* button = button_.get();
    if (button && button->isCheckable()) button->setChecked(state != 0);
}

bool QtButton::isEnabled() const {
    QAbstractButton* button = button_.get();
    return button && button->isEnabled();
}

void QtButton::setEnabled(bool enabled) {
    if (QAbstractButton* button = button_.get()) button->setEnabled(enabled);
}

std::string QtButton::title() const {
    QAbstractButton* button = button_.get();
    return button ? withoutMnemonic(button->text()).toStdString() : std::string();
}

void QtButton::setTitle(const std::string& title) {
    if (QAbstractButton* button = button_.get())
        button->setText(withMnemonic(QString::fromStdString(title), mnemonic_));
}

std::string QtButton::image() const {
    return image_;
}

void QtButton::setImage(const std::string& imageName) {
    image_ = imageName;
    if (QAbstractButton* button = button_.get()) button->setIcon(named_images::icon(imageName));
    if (onImageChanged) onImageChanged(imageName);
}
