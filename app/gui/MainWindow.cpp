// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindow.h"

#include "QtActivityIndicator.h"
#include "ServiceTableWidget.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// Wide enough for every title the button will be given, so the row does not jump.
void reserveWidthFor(QPushButton* button, const QStringList& titles) {
    const QString original = button->text();
    int width = 0;
    for (const QString& t : titles) {
        button->setText(t);
        width = std::max(width, button->sizeHint().width());
    }
    button->setText(original);
    button->setMinimumWidth(width);
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("QuillboreSSH"));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    table = new ServiceTableWidget(central);
    table->setObjectName(QStringLiteral("serviceList"));
    table->setAccessibleName(tr("Services"));
    table->setMinimumHeight(160);
    layout->addWidget(table, 1);

    // Editing on the left, running on the right.
    auto* buttons = new QHBoxLayout;
    addButton = new QPushButton(tr("&Add…"), central);
    addButton->setToolTip(tr("Add one or more services"));
    editButton = new QPushButton(tr("&Edit…"), central);
    editButton->setToolTip(tr("Change the selected service (or double-click its row)"));
    removeButton = new QPushButton(tr("&Remove"), central);
    removeButton->setToolTip(tr("Remove the selected service from the list"));
    startButton = new QPushButton(tr("&Start Service"), central);
    startButton->setToolTip(
        tr("Start the selected service, or every service when none is selected"));
    stopButton = new QPushButton(tr("St&op Service"), central);
    stopButton->setToolTip(tr("Stop the selected service, or every service when none is selected"));
    reserveWidthFor(startButton, {tr("&Start Service"), tr("&Start Services")});
    reserveWidthFor(stopButton, {tr("St&op Service"), tr("St&op Services")});
    for (QPushButton* b : {addButton, editButton, removeButton, startButton, stopButton})
        b->setAutoDefault(false);
    buttons->addWidget(addButton);
    buttons->addWidget(editButton);
    buttons->addWidget(removeButton);
    buttons->addStretch(1);
    buttons->addWidget(startButton);
    buttons->addWidget(stopButton);
    layout->addLayout(buttons);

    auto* bottom = new QHBoxLayout;
    lockButton = new QToolButton(central);
    lockButton->setObjectName(QStringLiteral("lockButtons"));
    lockButton->setAutoRaise(true);
    lockButton->setIconSize(QSize(20, 20));
    lockButton->setToolTip(tr("Lock or unlock the application (Ctrl+L)"));
    lockButton->setAccessibleName(tr("Lock"));
    keepKeys = new QCheckBox(tr("&Keep keys in the agent while locked"), central);
    keepKeys->setObjectName(QStringLiteral("keepKeys"));
    wheelie = new QtActivityIndicator(central);
    wheelie->setObjectName(QStringLiteral("wheelie"));
    statusText = new QLineEdit(central);
    statusText->setObjectName(QStringLiteral("statusText"));
    statusText->setReadOnly(true);
    statusText->setFrame(false);
    statusText->setFocusPolicy(Qt::NoFocus);
    statusText->setAccessibleName(tr("Status"));
    // Nothing runs at launch. Start with no row selected reads this line to decide whether
    // to start every service, also before the first one-second refresh.
    statusText->setText(QStringLiteral("Idle..."));
    statusText->setMinimumWidth(statusText->fontMetrics().horizontalAdvance(
                                    QStringLiteral("99 Tunneling services are running...")) +
                                12);
    QPalette quiet = statusText->palette();
    quiet.setColor(QPalette::Base, Qt::transparent);
    statusText->setPalette(quiet);
    bottom->addWidget(lockButton);
    bottom->addWidget(keepKeys);
    bottom->addStretch(1);
    bottom->addWidget(wheelie);
    bottom->addWidget(statusText);
    layout->addLayout(bottom);

    setCentralWidget(central);

    setTabOrder(table, addButton);
    setTabOrder(addButton, editButton);
    setTabOrder(editButton, removeButton);
    setTabOrder(removeButton, startButton);
    setTabOrder(startButton, stopButton);
    setTabOrder(stopButton, lockButton);
    setTabOrder(lockButton, keepKeys);

    buildMenus();
    buildRowMenu();
    resize(760, 440);
    setMinimumSize(560, 300);
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    preferencesAction = file->addAction(tr("&Preferences…"));
    preferencesAction->setObjectName(QStringLiteral("preferencesAction"));
    preferencesAction->setMenuRole(QAction::PreferencesRole);
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Preferences);
    const QKeySequence commaKey(Qt::CTRL | Qt::Key_Comma);
    if (!keys.contains(commaKey)) keys.append(commaKey);
    preferencesAction->setShortcuts(keys);
    file->addSeparator();
    quitAction = file->addAction(tr("&Quit"));
    quitAction->setObjectName(QStringLiteral("quitAction"));
    quitAction->setMenuRole(QAction::QuitRole);
    quitAction->setShortcuts(QKeySequence::Quit);

    // The menu items press the buttons, so they do exactly what the buttons do; their
    // titles and enabling follow the buttons when the menu opens.
    servicesMenu_ = menuBar()->addMenu(tr("Ser&vices"));
    struct Item {
        QPushButton* button;
        QKeySequence key;
    };
    const Item items[] = {{addButton, QKeySequence(Qt::CTRL | Qt::Key_N)},
                          {editButton, QKeySequence(Qt::CTRL | Qt::Key_E)},
                          {removeButton, QKeySequence()},
                          {startButton, QKeySequence(Qt::CTRL | Qt::Key_R)},
                          {stopButton, QKeySequence(Qt::CTRL | Qt::Key_Period)}};
    for (const Item& item : items) {
        if (item.button == startButton) servicesMenu_->addSeparator();
        QAction* action = servicesMenu_->addAction(item.button->text());
        action->setShortcut(item.key);
        QPushButton* button = item.button;
        connect(action, &QAction::triggered, button, [button] { button->click(); });
        connect(servicesMenu_, &QMenu::aboutToShow, action, [action, button] {
            action->setText(button->text());
            action->setEnabled(button->isEnabled());
        });
        // A disabled button ignores the click; the shortcut must not stay off meanwhile.
        connect(servicesMenu_, &QMenu::aboutToHide, action, [action] { action->setEnabled(true); });
    }
    servicesMenu_->addSeparator();
    lockAction = servicesMenu_->addAction(tr("&Lock / Unlock"));
    lockAction->setObjectName(QStringLiteral("lockAction"));
    lockAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(lockAction, &QAction::triggered, lockButton, [this] { lockButton->click(); });
    servicesMenu_->addSeparator();
    showLogAction = servicesMenu_->addAction(tr("Show Lo&g"));
    showLogAction->setObjectName(QStringLiteral("showLogAction"));
    showLogAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
}

void MainWindow::buildRowMenu() {
    rowMenu = new QMenu(table);
    rowMenu->setObjectName(QStringLiteral("rowMenu"));
    startRowAction = rowMenu->addAction(tr("&Start"));
    stopRowAction = rowMenu->addAction(tr("St&op"));
    rowMenu->addSeparator();
    editRowAction = rowMenu->addAction(tr("&Edit…"));
    removeRowAction = rowMenu->addAction(tr("&Remove"));
    connect(table, &ServiceTableWidget::rowMenuRequested, rowMenu,
            [this](const QPoint& at) { rowMenu->popup(at); });
}
