// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LazyWidget.h"
#include "controller/toolkit.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>

class QWidget;

// A top-level window. Alerts are window-modal message boxes opened without blocking the
// caller (sheets on macOS); an alert for a window that already shows one waits its turn, and
// one with the same text as an alert showing or waiting is dropped. Activation changes are
// passed on to the handlers the layout sets; the window's own alerts count as the window.
// A window built on first use is built by `build` when it is to be shown or to show an alert;
// hiding one that was never built does nothing.
class QtWindow : public QObject, public Window {
    Q_OBJECT
public:
    explicit QtWindow(QWidget* widget);
    explicit QtWindow(std::function<QWidget*()> build);

    void makeKeyAndOrderFront() override;
    void orderOut() override;
    std::string title() const override;
    void setTitle(const std::string& title) override;
    void beginSheet(const Alert& alert) override;

    QWidget* widget() const { return widget_.get(); }
    // A window of its own that belongs with another: it opens centred over that one the
    // first time, and where the user left it afterwards.
    void setOpensOver(QWidget* owner) { opensOver_ = owner; }
    QMessageBox* currentAlert() const { return showing_ ? current_.data() : nullptr; }
    std::size_t queuedAlerts() const { return queue_.size(); }

    // The window or one of its alerts became active; neither is active any more.
    std::function<void()> onActivate;
    std::function<void()> onDeactivate;
    // The window itself became the active (key) window, also when coming back from its alert.
    std::function<void()> onBecomeKey;
    std::function<void()> onShow;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showNext();
    bool holdsActivation() const;
    void activationChanged();
    static bool sameAlert(const Alert& a, const Alert& b);

    LazyWidget<QWidget> widget_;
    QPointer<QMessageBox> current_;
    bool showing_ = false;
    Alert shownAlert_;
    std::deque<Alert> queue_;
    bool active_ = false;
    QPointer<QWidget> opensOver_;
    bool placed_ = false;
};
