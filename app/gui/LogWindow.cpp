// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogWindow.h"

#include "controller/ActivityLog.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QVBoxLayout>

LogWindow::LogWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("logWindow"));
    setWindowTitle(tr("Log"));

    filter = new QComboBox(this);
    filter->setObjectName(QStringLiteral("logFilter"));
    filter->setAccessibleName(tr("Service"));
    filter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* filterLabel = new QLabel(tr("&Service:"), this);
    filterLabel->setBuddy(filter);

    text = new QPlainTextEdit(this);
    text->setObjectName(QStringLiteral("logText"));
    text->setAccessibleName(tr("Log"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setMaximumBlockCount(static_cast<int>(ActivityLog::kMaxEntries));
    text->setPlaceholderText(tr("Nothing logged yet: start a service."));

    copyButton = new QPushButton(tr("&Copy"), this);
    copyButton->setToolTip(tr("Copy the selected lines, or every line shown"));
    clearButton = new QPushButton(tr("C&lear"), this);
    clearButton->setToolTip(tr("Remove every line from the log"));
    closeButton = new QPushButton(tr("Close"), this);
    for (QPushButton* b : {copyButton, clearButton, closeButton})
        b->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(filterLabel);
    top->addWidget(filter);
    top->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copyButton);
    buttons->addWidget(clearButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(text, 1);
    layout->addLayout(buttons);

    connect(filter, &QComboBox::currentIndexChanged, this, [this] { rebuild(); });
    connect(copyButton, &QPushButton::clicked, this, [this] {
        const QString selected = text->textCursor().selectedText();
        QApplication::clipboard()->setText(
            selected.isEmpty() ? text->toPlainText()
                               : QString(selected).replace(QChar::ParagraphSeparator, '\n'));
    });
    connect(clearButton, &QPushButton::clicked, this, [this] {
        if (log_) log_->clear();
    });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    resize(760, 360);
}

LogWindow::~LogWindow() {
    if (log_) {
        log_->onAdd = nullptr;
        log_->onClear = nullptr;
    }
}

QString LogWindow::allServices() {
    return tr("All services");
}

void LogWindow::setSource(ActivityLog* log, std::function<std::vector<std::string>()> services) {
    log_ = log;
    services_ = std::move(services);
    log_->onAdd = [this](const ActivityLog::Entry& entry) {
        // Closed, the window catches up when it shows again (showEvent): every line otherwise
        // costs a layout of the text that nobody sees.
        if (!isVisible()) {
            behind_ = true;
            return;
        }
        if (!filterNames_.contains(QString::fromStdString(entry.service))) refillFilter();
        if (!shows(entry.service)) return;
        // Follows the end only when the user has not scrolled up to read.
        QScrollBar* bar = text->verticalScrollBar();
        const bool atEnd = bar->value() == bar->maximum();
        text->appendPlainText(QString::fromStdString(ActivityLog::format(entry)));
        if (atEnd) bar->setValue(bar->maximum());
    };
    log_->onClear = [this] { text->clear(); };
    refillFilter();
    rebuild();
}

void LogWindow::showEvent(QShowEvent* event) {
    refillFilter();
    if (behind_) rebuild();
    QWidget::showEvent(event);
}

bool LogWindow::shows(const std::string& service) const {
    return filter->currentIndex() <= 0 || filter->currentText().toStdString() == service;
}

// The current services and any that still have lines in the log; the choice is kept.
void LogWindow::refillFilter() {
    QStringList names;
    QSet<QString> seen;
    auto add = [&](const std::string& name) {
        const QString n = QString::fromStdString(name);
        if (!seen.contains(n)) names.append(n);
        seen.insert(n);
    };
    if (services_)
        for (const auto& name : services_())
            add(name);
    if (log_)
        for (const auto& entry : log_->entries())
            add(entry.service);
    const QString current = filter->currentIndex() > 0 ? filter->currentText() : QString();
    filterNames_ = seen;
    QSignalBlocker block(filter);
    filter->clear();
    filter->addItem(allServices());
    filter->addItems(names);
    const int index = current.isEmpty() ? 0 : filter->findText(current);
    filter->setCurrentIndex(index < 0 ? 0 : index);
    if (index < 0) rebuild();
}

void LogWindow::rebuild() {
    behind_ = false;
    text->clear();
    if (!log_) return;
    QStringList lines;
    for (const auto& entry : log_->entries())
        if (shows(entry.service)) lines.append(QString::fromStdString(ActivityLog::format(entry)));
    if (!lines.isEmpty()) text->setPlainText(lines.join('\n'));
    text->verticalScrollBar()->setValue(text->verticalScrollBar()->maximum());
}
