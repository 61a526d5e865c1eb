#pragma once

#include "QtAssertionHandler.h"
#include "QtButton.h"
#include "QtPasswordPrompt.h"
#include "QtTableView.h"
#include "QtTextField.h"
#include "QtTextView.h"
#include "QtWindow.h"

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
class AppWindows {
    // The add, edit and preferences windows are top-level windows of their own, not children
    // of the main window: a window-modal alert then blocks only the window that shows it.
    // Declared first, so they go after the adapters.
    std::vector<std::unique_ptr<QWidget>> ownedWindows_;

public:
    AppWindows();
    ~AppWindows();

    void wire(QuillboreDel& controller, MyPrefs& prefs);

    // The widgets. The key-file editor is a child of the preferences window.
    std::unique_ptr<MainWindow> main;
    ServiceFormDialog* addForm;
    ServiceFormDialog* editForm;
    PreferencesDialog* preferences;
    KeyFilesDialog* keyEditor;
    LogWindow* logView;

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

    QString keyFilesBeforeEditing_;
    std::weak_ptr<SSHTunnel> rowMenuService_;
};
