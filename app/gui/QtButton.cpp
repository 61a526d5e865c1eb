#include "QtButton.h"

#include "NamedImages.h"

#include <QAbstractButton>

namespace {

QChar mnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] != QLatin1Char('&')) return text[i + 1];
        ++i;
    }
    return {};
}

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

QtButton::QtButton(QAbstractButton* button) : button_(button) {
    if (button_) mnemonic_ = mnemonicOf(button_->text());
}

int QtButton::state() const {
    if (button_ && button_->isCheckable()) return button_->isChecked() ? 1 : 0;
    return state_;
}

void QtButton::setState(int state) {
    state_ = state;
    if (button_ && button_->isCheckable()) button_->setChecked(state != 0);
}

bool QtButton::isEnabled() const {
    return button_ && button_->isEnabled();
}

void QtButton::setEnabled(bool enabled) {
    if (button_) button_->setEnabled(enabled);
}

std::string QtButton::title() const {
    return button_ ? withoutMnemonic(button_->text()).toStdString() : std::string();
}

void QtButton::setTitle(const std::string& title) {
    if (button_) button_->setText(withMnemonic(QString::fromStdString(title), mnemonic_));
}

std::string QtButton::image() const {
    return image_;
}

void QtButton::setImage(const std::string& imageName) {
    image_ = imageName;
    if (button_) button_->setIcon(named_images::icon(imageName));
    if (onImageChanged) onImageChanged(imageName);
}
