#pragma once

#include "controller/toolkit.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>

class QWidget;

// A top-level window. Alerts are window-modal message boxes opened without blocking the
// caller (sheets on macOS); an alert for a window that already shows one waits its turn.
// The window's focus changes are passed on to the handlers the layout sets.
class QtWindow : public QObject, public Window {
    Q_OBJECT
public:
    explicit QtWindow(QWidget* widget);

    void makeKeyAndOrderFront() override;
    void orderOut() override;
    std::string title() const override;
    void setTitle(const std::string& title) override;
    void beginSheet(const Alert& alert) override;

    QWidget* widget() const { return widget_; }
    QMessageBox* currentAlert() const { return showing_ ? current_.data() : nullptr; }
    std::size_t queuedAlerts() const { return queue_.size(); }

    std::function<void()> onActivate;   // became the active (key and main) window
    std::function<void()> onDeactivate; // stopped being the active window
    std::function<void()> onShow;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showNext();

    QPointer<QWidget> widget_;
    QPointer<QMessageBox> current_;
    bool showing_ = false;
    std::deque<Alert> queue_;
};
