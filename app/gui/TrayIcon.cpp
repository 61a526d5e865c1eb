// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrayIcon.h"

#include "NamedImages.h"
#include "desktop/TrayActions.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

// The application's icon with the light in its lower right corner, at the sizes trays use.
// Fixed pixmaps, so that hosts that take pixel data get the light too.
QIcon TrayIcon::picture(const std::string& light) {
    const QIcon app = named_images::icon("quillbore-ssh");
    const QIcon dot = named_images::icon(light);
    QIcon picture;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        app.paint(&painter, QRect(0, 0, size, size));
        const int d = size * 5 / 8;
        dot.paint(&painter, QRect(size - d, size - d, d, d));
        painter.end();
        picture.addPixmap(pixmap);
    }
    return picture;
}

TrayIcon::TrayIcon(TrayActions& actions, std::function<void()> quit, QObject* parent)
    : QObject(parent), actions_(actions), quit_(std::move(quit)), icon_(new QSystemTrayIcon(this)),
      menu_(new QMenu) {
    icon_->setContextMenu(menu_);
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
                    actions_.showWindow();
            });
}

TrayIcon::~TrayIcon() {
    icon_->hide();
    delete menu_;
}

void TrayIcon::show(const TrayView& view) {
    if (everShown_ && view == shown_) return;
    if (!everShown_ || view.light != shown_.light) icon_->setIcon(picture(view.light));
    icon_->setToolTip(QStringLiteral("QuillboreSSH: ") + QString::fromStdString(view.toolTip));
    if (!everShown_ || view.entries.size() != shown_.entries.size())
        rebuildMenu(view);
    else
        updateMenu(view);
    shown_ = view;
    if (!everShown_) icon_->show();
    everShown_ = true;
}

// "&" would otherwise become a mnemonic.
static QString menuText(const std::string& label) {
    return QString::fromStdString(label).replace(QLatin1Char('&'), QLatin1String("&&"));
}

void TrayIcon::updateMenu(const TrayView& view) {
    for (std::size_t i = 0; i < view.entries.size(); ++i) {
        const TrayView::Entry& entry = view.entries[i];
        if (entry == shown_.entries[i]) continue;
        serviceActions_[i]->setText(menuText(entry.label));
        if (entry.light != shown_.entries[i].light)
            serviceActions_[i]->setIcon(named_images::icon(entry.light));
    }
    lockAction_->setText(view.locked ? tr("Locked") : tr("Lock"));
}

void TrayIcon::rebuildMenu(const TrayView& view) {
    menu_->clear();
    serviceActions_.clear();
    for (std::size_t i = 0; i < view.entries.size(); ++i) {
        const TrayView::Entry& entry = view.entries[i];
        QAction* action = menu_->addAction(named_images::icon(entry.light), menuText(entry.label));
        connect(action, &QAction::triggered, this, [this, i] { actions_.toggleService(i); });
        serviceActions_.push_back(action);
    }
    if (!view.entries.empty()) menu_->addSeparator();
    connect(menu_->addAction(tr("Start all")), &QAction::triggered, this,
            [this] { actions_.startAll(); });
    connect(menu_->addAction(tr("Stop all")), &QAction::triggered, this,
            [this] { actions_.stopAll(); });
    menu_->addSeparator();
    connect(menu_->addAction(tr("Show window")), &QAction::triggered, this,
            [this] { actions_.showWindow(); });
    lockAction_ = menu_->addAction(view.locked ? tr("Locked") : tr("Lock"));
    connect(lockAction_, &QAction::triggered, this, [this] { actions_.lock(); });
    menu_->addSeparator();
    connect(menu_->addAction(tr("Quit")), &QAction::triggered, this, [this] { quit_(); });
}
