#include "QtWindow.h"

#include <QApplication>
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

bool QtWindow::sameAlert(const Alert& a, const Alert& b) {
    return a.messageText == b.messageText && a.informativeText == b.informativeText &&
           a.buttonTitle == b.buttonTitle && a.style == b.style;
}

// A repeating cause (a service that fails at every reconnection) would otherwise queue one
// alert per repetition: an alert that is already on screen or waiting is not queued again.
void QtWindow::beginSheet(const Alert& alert) {
    if (showing_ && sameAlert(shownAlert_, alert)) return;
    for (const Alert& waiting : queue_)
        if (sameAlert(waiting, alert)) return;
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
    box->installEventFilter(this);
    current_ = box;
    shownAlert_ = alert;
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

bool QtWindow::holdsActivation() const {
    QWidget* active = QApplication::activeWindow();
    if (!active || !widget_) return false;
    if (active == widget_) return true;
    // An alert of this window is part of it, like a sheet: it does not take the window's place.
    auto* box = qobject_cast<QMessageBox*>(active);
    return box && box->parentWidget() == widget_ && box->windowModality() == Qt::WindowModal;
}

void QtWindow::activationChanged() {
    const bool active = holdsActivation();
    if (active == active_) return;
    active_ = active;
    if (active_) {
        if (onActivate) onActivate();
    } else if (onDeactivate) {
        onDeactivate();
    }
}

bool QtWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowActivate:
        if (watched == widget_ && onBecomeKey) onBecomeKey();
        activationChanged();
        break;
    case QEvent::WindowDeactivate:
        if (watched != widget_ && !QApplication::activeWindow()) {
            // A closing alert hands activation back to its window, as a sheet does, rather
            // than leave the application without an active window in between.
            auto* box = qobject_cast<QWidget*>(watched);
            if (box && box->isHidden() && widget_ && widget_->isVisible()) {
                widget_->activateWindow();
                break;
            }
        }
        activationChanged();
        break;
    case QEvent::Show:
        if (watched != widget_) break;
        if (!placed_ && opensOver_) {
            placed_ = true;
            QRect frame = widget_->frameGeometry();
            frame.moveCenter(opensOver_->frameGeometry().center());
            widget_->move(frame.topLeft());
        }
        if (onShow) onShow();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
