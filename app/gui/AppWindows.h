// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "QtAssertionHandler.h"
#include "QtButton.h"
#include "QtPasswordPrompt.h"
#include "QtTableView.h"
#include "QtTextField.h"
#include "QtTextView.h"
#include "QtWindow.h"

#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

class KeyFilesDialog;
class LogWindow;
class MainWindow;
class MyPrefs;
class PreferencesDialog;
class QuillboreDel;
class SSHTunnel;
class ServiceFormDialog;

// The whole window layout: the windows, and the toolkit adapters through which the
// controller and the preferences logic see them. wire() sets their outlets and binds every
// control's action, the way loading a window layout would.
//
// Only the main window is built at once. The add, edit, preferences (with its key-file
// editor) and log windows are built the first time they are needed: when an adapter of
// theirs is used (the controller shows the window or sets one of its fields) or when they are
// asked for here. An application that only supervises its tunnels never builds them.
class AppWindows {
    // The add, edit and preferences windows are top-level windows of their own, not children
    // of the main window: a window-modal alert then blocks only the window that shows it.
    // Declared first, so they go after the adapters.
    std::vector<std::unique_ptr<QWidget>> ownedWindows_;
    ServiceFormDialog* addForm_ = nullptr;
    ServiceFormDialog* editForm_ = nullptr;
    PreferencesDialog* preferences_ = nullptr;
    KeyFilesDialog* keyEditor_ = nullptr;
    LogWindow* logView_ = nullptr;

public:
    AppWindows();
    ~AppWindows();

    void wire(QuillboreDel& controller, MyPrefs& prefs);

    // The widgets; each window other than the main window is built by its first call. The
    // key-file editor is a child of the preferences window and is built with it.
    std::unique_ptr<MainWindow> main;
    ServiceFormDialog* addForm();
    ServiceFormDialog* editForm();
    PreferencesDialog* preferences();
    KeyFilesDialog* keyEditor();
    LogWindow* logView();

    // Runs `hook` on the preferences window when it is built, after its own wiring (at once
    // if it has been built already), unless `context` has gone by then: for sections that
    // others add to it.
    void whenPreferencesBuilt(QObject* context, std::function<void(PreferencesDialog*)> hook);
    // The preferences window if it has been built; never builds it.
    PreferencesDialog* builtPreferences() const { return preferences_; }

    // The adapters (outlets).
    QtWindow mainWindow, addWindow, editWindow, aboutWindow, keyWindow, logWindow;
    QtTextField serverAddress, userName, userPassword, serverPort, forwardInfo, statusText;
    QtTextField eServerAddress, eUserName, eUserPassword, eServerPort, eforwardInfo;
    QtTableView serviceList;
    QtButton isSocks, eisSocks, reverseButton, eReverseButton;
    QtButton addButton, editButton, removeButton, startButton, stopButton;
    QtButton okButton, canButton, eokButton, ecanButton;
    QtButton lockButtons, keepKeys;
    QtButton keyOption, comOption, askPass, usePrompt, reconOption, saveButton, keysOkButton;
    QtTextField commandInfo, commandArgs;
    QtTextView keyFiles;
    QtPasswordPrompt passwordPrompt;
    QtAssertionHandler assertionHandler;

private:
    template <typename W> W* own(W* window);
    // The actions of a window's controls, bound once the window is built and wire() has run.
    void wireAddForm();
    void wireEditForm();
    void wirePreferences();
    void wireLogView();

    QuillboreDel* controller_ = nullptr;
    MyPrefs* prefs_ = nullptr;
    struct PreferencesHook {
        QPointer<QObject> context;
        std::function<void(PreferencesDialog*)> run;
    };
    std::vector<PreferencesHook> preferencesHooks_;
    QString keyFilesBeforeEditing_;
    std::weak_ptr<SSHTunnel> rowMenuService_;
};
