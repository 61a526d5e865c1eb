// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppWindows.h"

#include "KeyFilesDialog.h"
#include "LogWindow.h"
#include "MainWindow.h"
#include "PreferencesDialog.h"
#include "QtActivityIndicator.h"
#include "ServiceFormDialog.h"
#include "ServiceTableWidget.h"
#include "controller/MyPrefs.h"
#include "controller/Outlets.h"
#include "controller/QuillboreDel.h"
#include "controller/ServiceLabel.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <utility>

template <typename W> W* AppWindows::own(W* window) {
    // Closing the main window alone ends the application, whatever else is open.
    window->setAttribute(Qt::WA_QuitOnClose, false);
    ownedWindows_.emplace_back(window);
    return window;
}

// Members are initialised in declaration order: the main window first, then the adapters.
// The adapters of the other windows get the means to build their window.
AppWindows::AppWindows()
    : main(std::make_unique<MainWindow>()), mainWindow(main.get()),
      addWindow([this] { return static_cast<QWidget*>(addForm()); }),
      editWindow([this] { return static_cast<QWidget*>(editForm()); }),
      aboutWindow([this] { return static_cast<QWidget*>(preferences()); }),
      keyWindow([this] { return static_cast<QWidget*>(keyEditor()); }),
      logWindow([this] { return static_cast<QWidget*>(logView()); }),
      serverAddress([this] { return addForm()->serverAddress; }),
      userName([this] { return addForm()->userName; }),
      userPassword([this] { return addForm()->userPassword; }),
      serverPort([this] { return addForm()->serverPort; }),
      forwardInfo([this] { return addForm()->forwardInfo; }), statusText(main->statusText),
      eServerAddress([this] { return editForm()->serverAddress; }),
      eUserName([this] { return editForm()->userName; }),
      eUserPassword([this] { return editForm()->userPassword; }),
      eServerPort([this] { return editForm()->serverPort; }),
      eforwardInfo([this] { return editForm()->forwardInfo; }), serviceList(main->table),
      isSocks([this] { return addForm()->isSocks; }),
      eisSocks([this] { return editForm()->isSocks; }),
      reverseButton([this] { return addForm()->reverseButton; }),
      eReverseButton([this] { return editForm()->reverseButton; }), addButton(main->addButton),
      editButton(main->editButton), removeButton(main->removeButton),
      startButton(main->startButton), stopButton(main->stopButton),
      okButton([this] { return addForm()->okButton; }),
      canButton([this] { return addForm()->cancelButton; }),
      eokButton([this] { return editForm()->okButton; }),
      ecanButton([this] { return editForm()->cancelButton; }), lockButtons(main->lockButton),
      keepKeys(main->keepKeys), keyOption([this] { return preferences()->keyOption; }),
      comOption([this] { return preferences()->comOption; }),
      askPass([this] { return preferences()->askPass; }),
      usePrompt([this] { return preferences()->usePrompt; }),
      reconOption([this] { return preferences()->reconOption; }),
      saveButton([this] { return preferences()->saveButton; }),
      keysOkButton([this] { return keyEditor()->okButton; }),
      commandInfo([this] { return preferences()->commandInfo; }),
      commandArgs([this] { return preferences()->commandArgs; }),
      keyFiles([this] { return keyEditor()->keyFiles; }), passwordPrompt(main.get()) {
    for (QtWindow* w : {&addWindow, &editWindow, &aboutWindow})
        w->setOpensOver(main.get());

    // The lock button is named for what pressing it does; its image is the lock state.
    lockButtons.onImageChanged = [button = main->lockButton](const std::string& imageName) {
        const bool locked = imageName == image::LockLocked;
        button->setAccessibleName(locked ? QObject::tr("Unlock") : QObject::tr("Lock"));
        button->setToolTip(locked ? QObject::tr("Unlock the application (Ctrl+L)")
                                  : QObject::tr("Lock the application (Ctrl+L)"));
    };
    // The application starts unlocked, with an empty table: nothing to start or edit yet
    // (with no saved services the start sequence does not reload the table).
    lockButtons.setImage(image::LockUnlocked);
    for (QtButton* b : {&editButton, &removeButton, &startButton, &stopButton})
        b->setEnabled(false);

    // Columns exist once the adapter has given the view its model.
    QHeaderView* header = main->table->horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->resizeSection(1, 190);
    header->resizeSection(2, 100);
    header->resizeSection(3, 170);
}

AppWindows::~AppWindows() {
    // The adapters go before the widgets (reverse declaration order); the event filters
    // and connections they own go with them.
}

ServiceFormDialog* AppWindows::addForm() {
    if (!addForm_) {
        addForm_ = own(new ServiceFormDialog(ServiceFormDialog::Kind::Add, nullptr));
        addWindow.widget(); // its adapter follows it from the start, however it was built
        if (controller_) wireAddForm();
    }
    return addForm_;
}

ServiceFormDialog* AppWindows::editForm() {
    if (!editForm_) {
        editForm_ = own(new ServiceFormDialog(ServiceFormDialog::Kind::Edit, nullptr));
        editWindow.widget();
        if (controller_) wireEditForm();
    }
    return editForm_;
}

PreferencesDialog* AppWindows::preferences() {
    if (!preferences_) {
        preferences_ = own(new PreferencesDialog(nullptr));
        keyEditor_ = new KeyFilesDialog(preferences_);
        aboutWindow.widget();
        keyWindow.widget();
        if (controller_) wirePreferences();
        for (const auto& hook : std::exchange(preferencesHooks_, {}))
            if (hook.context) hook.run(preferences_);
    }
    return preferences_;
}

KeyFilesDialog* AppWindows::keyEditor() {
    preferences();
    return keyEditor_;
}

LogWindow* AppWindows::logView() {
    if (!logView_) {
        logView_ = own(new LogWindow(nullptr));
        logWindow.widget();
        if (controller_) wireLogView();
    }
    return logView_;
}

void AppWindows::whenPreferencesBuilt(QObject* context,
                                      std::function<void(PreferencesDialog*)> hook) {
    if (preferences_)
        hook(preferences_);
    else
        preferencesHooks_.push_back({context, std::move(hook)});
}

void AppWindows::wire(QuillboreDel& c, MyPrefs& p) {
    controller_ = &c;
    prefs_ = &p;
    connectControllerOutlets(c, *this);
    c.wheelie = main->wheelie;
    connectPreferencesOutlets(p, c, *this);

    // Main window.
    serviceList.setAction([&c, this] { c.gotsAClick(&serviceList); });
    QObject::connect(main->addButton, &QPushButton::clicked, main.get(), [&c, this] {
        c.addService(&addButton);
        // The preset server name is selected, so typing replaces it.
        if (addForm()->isVisible()) {
            addForm()->serverAddress->setFocus();
            addForm()->serverAddress->selectAll();
        }
    });
    QObject::connect(main->editButton, &QPushButton::clicked, main.get(),
                     [&c, this] { c.editService(&editButton); });
    QObject::connect(main->removeButton, &QPushButton::clicked, main.get(),
                     [&c, this] { c.removeFromList(&removeButton); });
    QObject::connect(main->startButton, &QPushButton::clicked, main.get(),
                     [&c, this] { c.startTunnel(&startButton); });
    QObject::connect(main->stopButton, &QPushButton::clicked, main.get(),
                     [&c, this] { c.stopTunnel(&stopButton); });
    // The Delete key and the row's context menu do what the buttons do.
    QObject::connect(main->table, &ServiceTableWidget::removeRequested, main.get(),
                     [&c, this] { c.removeFromList(&removeButton); });
    // The row menu acts on the service it was opened on, whatever the table selects meanwhile.
    QObject::connect(main->table, &ServiceTableWidget::rowMenuRequested, main.get(),
                     [&c, this] { rowMenuService_ = c.serviceAt(serviceList.selectedRow()); });
    QObject::connect(main->startRowAction, &QAction::triggered, main.get(),
                     [&c, this] { c.startOne(rowMenuService_.lock(), &mainWindow); });
    QObject::connect(main->stopRowAction, &QAction::triggered, main.get(),
                     [&c, this] { c.stopOne(rowMenuService_.lock(), &mainWindow); });
    QObject::connect(main->editRowAction, &QAction::triggered, main.get(),
                     [&c, this] { c.editOne(rowMenuService_.lock(), &mainWindow); });
    QObject::connect(main->removeRowAction, &QAction::triggered, main.get(),
                     [&c, this] { c.removeOne(rowMenuService_.lock(), &mainWindow); });
    QObject::connect(main->lockButton, &QToolButton::clicked, main.get(),
                     [&c, this] { c.toggleLock(&lockButtons); });
    QObject::connect(main->preferencesAction, &QAction::triggered, main.get(),
                     [&c] { c.openPreferences(nullptr); });
    QObject::connect(main->quitAction, &QAction::triggered, main.get(),
                     [] { QCoreApplication::quit(); });
    QObject::connect(main->showLogAction, &QAction::triggered, main.get(),
                     [&c] { c.showLog(nullptr); });
    mainWindow.onActivate = [&c] { c.windowDidBecomeMain(); };
    mainWindow.onDeactivate = [&c] { c.windowDidResignMain(); };

    addWindow.onShow = [this] { addForm()->serverAddress->setFocus(); };
    editWindow.onShow = [this] { editForm()->serverAddress->setFocus(); };
    aboutWindow.onBecomeKey = [&p] { p.windowDidBecomeKey(); };
    aboutWindow.onShow = [&p] { p.windowDidBecomeKey(); };

    // Windows built before now get their actions here, the others when they are built.
    if (addForm_) wireAddForm();
    if (editForm_) wireEditForm();
    if (preferences_) wirePreferences();
    if (logView_) wireLogView();
}

// Add and edit windows. Cancel (and Escape) only hides the window.
void AppWindows::wireAddForm() {
    QuillboreDel& c = *controller_;
    QObject::connect(addForm_->okButton, &QPushButton::clicked, addForm_,
                     [&c, this] { c.addToList(&okButton); });
    QObject::connect(addForm_->cancelButton, &QPushButton::clicked, addForm_, &QDialog::reject);
    QObject::connect(addForm_->isSocks, &QCheckBox::clicked, addForm_,
                     [&c, this] { c.handleCheckBox(&isSocks); });
}

void AppWindows::wireEditForm() {
    QuillboreDel& c = *controller_;
    QObject::connect(editForm_->okButton, &QPushButton::clicked, editForm_,
                     [&c, this] { c.editList(&eokButton); });
    QObject::connect(editForm_->cancelButton, &QPushButton::clicked, editForm_, &QDialog::reject);
    QObject::connect(editForm_->isSocks, &QCheckBox::clicked, editForm_,
                     [&c, this] { c.handleCheckBox(&eisSocks); });
}

// Preferences window and key-file editor.
void AppWindows::wirePreferences() {
    MyPrefs& p = *prefs_;
    PreferencesDialog* prefs = preferences_;
    QObject::connect(prefs->keyOption, &QCheckBox::clicked, prefs,
                     [&p, this] { p.clickedOption(&keyOption); });
    QObject::connect(prefs->comOption, &QCheckBox::clicked, prefs,
                     [&p, this] { p.clickedOption(&comOption); });
    QObject::connect(prefs->askPass, &QCheckBox::clicked, prefs,
                     [&p, this] { p.clickedOption(&askPass); });
    QObject::connect(prefs->saveButton, &QPushButton::clicked, prefs,
                     [&p, this] { p.userSave(&saveButton); });
    QObject::connect(prefs->cancelButton, &QPushButton::clicked, prefs, &QDialog::reject);
    // Cancel, Escape and the close box drop what was changed since the last save.
    QObject::connect(prefs, &QDialog::rejected, prefs, [&p] { p.userCancel(nullptr); });

    QObject::connect(prefs->keyFilesButton, &QPushButton::clicked, prefs, [this] {
        keyFilesBeforeEditing_ = keyEditor_->keyFiles->toPlainText();
        keyWindow.makeKeyAndOrderFront();
    });
    QObject::connect(keyEditor_->okButton, &QPushButton::clicked, keyEditor_,
                     [&p, this] { p.setKeysFiles(&keysOkButton); });
    // Cancel puts back the text the editor opened with; the list is unchanged.
    QObject::connect(keyEditor_, &QDialog::rejected, keyEditor_,
                     [this] { keyEditor_->keyFiles->setPlainText(keyFilesBeforeEditing_); });
    QObject::connect(keyEditor_->cancelButton, &QPushButton::clicked, keyEditor_, &QDialog::reject);
}

void AppWindows::wireLogView() {
    QuillboreDel& c = *controller_;
    logView_->setSource(&c.activityLog, [&c] {
        std::vector<std::string> names;
        if (c.theServiceList)
            for (const auto& entry : *c.theServiceList)
                names.push_back(serviceLabel(entry));
        return names;
    });
}
