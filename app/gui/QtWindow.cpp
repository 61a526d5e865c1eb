// SPDX-License-Identifier: GPL-3.0-or-later
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

QtWindow::QtWindow(QWidget* widget)
    : widget_(widget, [this](QWidget* w) { w->installEventFilter(this); }) {}

QtWindow::QtWindow(std::function<QWidget*()> build)
    : widget_(std::move(build), [this](QWidget* w) { w->installEventFilter(this); }) {}

void QtWindow::makeKeyAndOrderFront() {
    QWidget* w = widget_.get();
    if (!w) return;
    if (w->isMinimized()) w->showNormal();
    w->show();
    w->raise();
    w->activateWindow();
}

void QtWindow::orderOut() {
    if (QWidget* w = widget_.ifBuilt()) w->hide();
}

std::string QtWindow::title() const {
    QWidget* w = widget_.get();
    return w ? w->windowTitle().toStdString() : std::string();
}

void QtWindow::setTitle(const std::string& title) {
    if (QWidget* w = widget_.get()) w->setWindowTitle(QString::fromStdString(title));
}

bool QtWindow::sameAlert(const Alert& a, const Alert& b) {
    return a.messageText == b.messageText && a.informativeText == b.informativeText &&
           a.buttonTitle == b.buttonTitle && a.style == b.style &&
           a.otherButtonTitle == b.otherButtonTitle;
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
    QWidget* window = widget_.get();
    if (queue_.empty() || !window) return;
    const Alert alert = queue_.front();
    queue_.pop_front();

    auto* box = new QMessageBox(window);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(iconFor(alert.style));
    box->setText(QString::fromStdString(alert.messageText));
    box->setInformativeText(QString::fromStdString(alert.informativeText));
    QPushButton* ok =
        box->addButton(QString::fromStdString(alert.buttonTitle), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    // Not an action role: showDetail clicks those.
    QPushButton* other = nullptr;
    if (!alert.otherButtonTitle.empty())
        other =
            box->addButton(QString::fromStdString(alert.otherButtonTitle), QMessageBox::YesRole);
    if (!alert.detailText.empty()) showDetail(box, alert.detailText);
    box->installEventFilter(this);
    current_ = box;
    shownAlert_ = alert;
    showing_ = true;
    connect(box, &QMessageBox::finished, this, [this, box, other, alert] {
        showing_ = false;
        const bool otherPressed = other && box->clickedButton() == other;
        box->deleteLater();
        // The action and the next alert run from the event loop, once this box has gone; an
        // alert that the action opens waits behind those already waiting.
        QMetaObject::invokeMethod(
            this,
            [this, otherPressed, action = alert.otherAction] {
                if (otherPressed && action) action();
                if (!showing_) showNext();
            },
            Qt::QueuedConnection);
    });
    box->open();
}

bool QtWindow::holdsActivation() const {
    QWidget* active = QApplication::activeWindow();
    QWidget* window = widget_.ifBuilt();
    if (!active || !window) return false;
    if (active == window) return true;
    // An alert of this window is part of it, like a sheet: it does not take the window's place.
    auto* box = qobject_cast<QMessageBox*>(active);
    return box && box->parentWidget() == window && box->windowModality() == Qt::WindowModal;
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
    QWidget* const window = widget_.ifBuilt(); // filtered events come from it or its alerts
    switch (event->type()) {
    case QEvent::WindowActivate:
        if (watched == window && onBecomeKey) onBecomeKey();
        activationChanged();
        break;
    case QEvent::WindowDeactivate:
        if (watched != window && !QApplication::activeWindow()) {
            // A closing alert hands activation back to its window, as a sheet does, rather
            // than leave the application without an active window in between.
            auto* box = qobject_cast<QWidget*>(watched);
            if (box && box->isHidden() && window && window->isVisible()) {
                window->activateWindow();
                break;
            }
        }
        activationChanged();
        break;
    case QEvent::Show:
        if (watched != window) break;
        if (!placed_ && opensOver_) {
            placed_ = true;
            QRect frame = window->frameGeometry();
            frame.moveCenter(opensOver_->frameGeometry().center());
            window->move(frame.topLeft());
        }
        if (onShow) onShow();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
