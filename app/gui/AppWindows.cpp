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

template <typename W> W* AppWindows::own(W* window) {
    // Closing the main window alone ends the application, whatever else is open.
    window->setAttribute(Qt::WA_QuitOnClose, false);
    ownedWindows_.emplace_back(window);
    return window;
}

// Members are initialised in declaration order: the widgets first, then their adapters.
AppWindows::AppWindows()
    : main(std::make_unique<MainWindow>()),
      addForm(own(new ServiceFormDialog(ServiceFormDialog::Kind::Add, nullptr))),
      editForm(own(new ServiceFormDialog(ServiceFormDialog::Kind::Edit, nullptr))),
      preferences(own(new PreferencesDialog(nullptr))), keyEditor(new KeyFilesDialog(preferences)),
      logView(own(new LogWindow(nullptr))), mainWindow(main.get()), addWindow(addForm),
      editWindow(editForm), aboutWindow(preferences), keyWindow(keyEditor), logWindow(logView),
      serverAddress(addForm->serverAddress), userName(addForm->userName),
      userPassword(addForm->userPassword), serverPort(addForm->serverPort),
      forwardInfo(addForm->forwardInfo), statusText(main->statusText),
      eServerAddress(editForm->serverAddress), eUserName(editForm->userName),
      eUserPassword(editForm->userPassword), eServerPort(editForm->serverPort),
      eforwardInfo(editForm->forwardInfo), serviceList(main->table), isSocks(addForm->isSocks),
      eisSocks(editForm->isSocks), reverseButton(addForm->reverseButton),
      eReverseButton(editForm->reverseButton), addButton(main->addButton),
      editButton(main->editButton), removeButton(main->removeButton),
      startButton(main->startButton), stopButton(main->stopButton), okButton(addForm->okButton),
      canButton(addForm->cancelButton), eokButton(editForm->okButton),
      ecanButton(editForm->cancelButton), lockButtons(main->lockButton), keepKeys(main->keepKeys),
      keyOption(preferences->keyOption), comOption(preferences->comOption),
      askPass(preferences->askPass), usePrompt(preferences->usePrompt),
      reconOption(preferences->reconOption), saveButton(preferences->saveButton),
      keysOkButton(keyEditor->okButton), commandInfo(preferences->commandInfo),
      commandArgs(preferences->commandArgs), keyFiles(keyEditor->keyFiles),
      passwordPrompt(main.get()) {
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

void AppWindows::wire(QuillboreDel& c, MyPrefs& p) {
    connectControllerOutlets(c, *this);
    c.wheelie = main->wheelie;
    connectPreferencesOutlets(p, c, *this);

    // Main window.
    serviceList.setAction([&c, this] { c.gotsAClick(&serviceList); });
    QObject::connect(main->addButton, &QPushButton::clicked, main.get(), [&c, this] {
        c.addService(&addButton);
        // The preset server name is selected, so typing replaces it.
        if (addForm->isVisible()) {
            addForm->serverAddress->setFocus();
            addForm->serverAddress->selectAll();
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
    logView->setSource(&c.activityLog, [&c] {
        std::vector<std::string> names;
        if (c.theServiceList)
            for (const auto& entry : *c.theServiceList)
                names.push_back(serviceLabel(entry));
        return names;
    });
    mainWindow.onActivate = [&c] { c.windowDidBecomeMain(); };
    mainWindow.onDeactivate = [&c] { c.windowDidResignMain(); };

    // Add and edit windows. Cancel (and Escape) only hides the window.
    QObject::connect(addForm->okButton, &QPushButton::clicked, addForm,
                     [&c, this] { c.addToList(&okButton); });
    QObject::connect(addForm->cancelButton, &QPushButton::clicked, addForm, &QDialog::reject);
    QObject::connect(addForm->isSocks, &QCheckBox::clicked, addForm,
                     [&c, this] { c.handleCheckBox(&isSocks); });
    addWindow.onShow = [this] { addForm->serverAddress->setFocus(); };
    editWindow.onShow = [this] { editForm->serverAddress->setFocus(); };
    QObject::connect(editForm->okButton, &QPushButton::clicked, editForm,
                     [&c, this] { c.editList(&eokButton); });
    QObject::connect(editForm->cancelButton, &QPushButton::clicked, editForm, &QDialog::reject);
    QObject::connect(editForm->isSocks, &QCheckBox::clicked, editForm,
                     [&c, this] { c.handleCheckBox(&eisSocks); });

    // Preferences window and key-file editor.
    QObject::connect(preferences->keyOption, &QCheckBox::clicked, preferences,
                     [&p, this] { p.clickedOption(&keyOption); });
    QObject::connect(preferences->comOption, &QCheckBox::clicked, preferences,
                     [&p, this] { p.clickedOption(&comOption); });
    QObject::connect(preferences->askPass, &QCheckBox::clicked, preferences,
                     [&p, this] { p.clickedOption(&askPass); });
    QObject::connect(preferences->saveButton, &QPushButton::clicked, preferences,
                     [&p, this] { p.userSave(&saveButton); });
    QObject::connect(preferences->cancelButton, &QPushButton::clicked, preferences,
                     &QDialog::reject);
    // Cancel, Escape and the close box drop what was changed since the last save.
    QObject::connect(preferences, &QDialog::rejected, preferences, [&p] { p.userCancel(nullptr); });
    aboutWindow.onBecomeKey = [&p] { p.windowDidBecomeKey(); };
    aboutWindow.onShow = [&p] { p.windowDidBecomeKey(); };

    QObject::connect(preferences->keyFilesButton, &QPushButton::clicked, preferences, [this] {
        keyFilesBeforeEditing_ = keyEditor->keyFiles->toPlainText();
        keyWindow.makeKeyAndOrderFront();
    });
    QObject::connect(keyEditor->okButton, &QPushButton::clicked, keyEditor,
                     [&p, this] { p.setKeysFiles(&keysOkButton); });
    // Cancel puts back the text the editor opened with; the list is unchanged.
    QObject::connect(keyEditor, &QDialog::rejected, keyEditor,
                     [this] { keyEditor->keyFiles->setPlainText(keyFilesBeforeEditing_); });
    QObject::connect(keyEditor->cancelButton, &QPushButton::clicked, keyEditor, &QDialog::reject);
}
