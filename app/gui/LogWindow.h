// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSet>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class ActivityLog;
class QComboBox;
class QPlainTextEdit;
class QPushButton;

// The log window: what the services' children wrote and our own events about them, newest
// last, for every service or for one (the filter). Copy puts the selected lines, or all that
// are shown, on the clipboard; Clear empties the log. It follows the log as lines come in.
class LogWindow : public QWidget {
    Q_OBJECT
public:
    explicit LogWindow(QWidget* parent);
    ~LogWindow() override;

    // The log to show, and where the names of the current services come from (for the filter).
    void setSource(ActivityLog* log, std::function<std::vector<std::string>()> services);

    QComboBox* filter;
    QPlainTextEdit* text;
    QPushButton* copyButton;
    QPushButton* clearButton;
    QPushButton* closeButton;

    static QString allServices();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refillFilter();
    void rebuild();
    bool shows(const std::string& service) const;

    ActivityLog* log_ = nullptr;
    std::function<std::vector<std::string>()> services_;
    QSet<QString> filterNames_; // the services the filter offers
    bool behind_ = false;       // lines came while the window was closed
};
