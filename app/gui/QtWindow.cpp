#include "QtWindow.h"

#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

namespace {

QMessageBox::Icon iconFor(Alert::Style style) {
    switch (style) {
    case Alert::Style::Informational:
        return QMessageBox::Information;
    case Alert::Style::Critical:
        return QMessageBox::Critical;
    case Alert::Style::Warning:
        break;
    }
    return QMessageBox::Warning;
}

// The detail goes under the message, already opened: it is the reason the user looks for.
void showDetail(QMessageBox* box, const std::string& detail) {
    box->setDetailedText(QString::fromStdString(detail));
    for (QAbstractButton* button : box->buttons())
        if (box->buttonRole(button) == QMessageBox::ActionRole) button->click();
}

} // namespace

QtWindow::QtWindow(QWidget* widget) : widget_(widget) {
    if (widget_) widget_->installEventFilter(this);
}

void QtWindow::makeKeyAndOrderFront() {
    if (!widget_) return;
    if (widget_->isMinimized()) widget_->showNormal();
    widget_->show();
    widget_->raise();
    widget_->activateWindow();
}

void QtWindow::orderOut() {
    if (widget_) widget_->hide();
}

std::string QtWindow::title() const {
    return widget_ ? widget_->windowTitle().toStdString() : std::string();
}

void QtWindow::setTitle(const std::string& title) {
    if (widget_) widget_->setWindowTitle(QString::fromStdString(title));
}

void QtWindow::beginSheet(const Alert& alert) {
    queue_.push_back(alert);
    if (!showing_) showNext();
}

void QtWindow::showNext() {
    if (queue_.empty() || !widget_) return;
    const Alert alert = queue_.front();
    queue_.pop_front();

    auto* box = new QMessageBox(widget_);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(iconFor(alert.style));
    box->setText(QString::fromStdString(alert.messageText));
    box->setInformativeText(QString::fromStdString(alert.informativeText));
    QPushButton* ok =
        box->addButton(QString::fromStdString(alert.buttonTitle), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    if (!alert.detailText.empty()) showDetail(box, alert.detailText);
    current_ = box;
    showing_ = true;
    connect(box, &QMessageBox::finished, this, [this, box] {
        showing_ = false;
        box->deleteLater();
        // The next alert opens from the event loop, once this box has gone.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!showing_) showNext();
            },
            Qt::QueuedConnection);
    });
    box->open();
}

bool QtWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget_) {
        switch (event->type()) {
        case QEvent::WindowActivate:
            if (onActivate) onActivate();
            break;
        case QEvent::WindowDeactivate:
            if (onDeactivate) onDeactivate();
            break;
        case QEvent::Show:
            if (onShow) onShow();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
