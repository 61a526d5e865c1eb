// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controller/ActivityLog.h"
#include "controller/ServiceEntry.h"
#include "controller/toolkit.h"
#include "platform/Authorizer.h"
#include "platform/ChildProcess.h"
#include "platform/RunLoop.h"
#include "platform/SystemLog.h"
#include "tunnel/HostKeyFetch.h"
#include "tunnel/HostKeys.h"
#include "tunnel/OpenSshConfig.h"
#include "tunnel/SSHTunnelDelegate.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The application's one controller: window controller of the main window, data source and
// delegate of the service table, delegate of the main window and of every tunnel.
// Its operations are spread over a few .cpp files by concern.
class QuillboreDel : public SSHTunnelDelegate, public TableDataSource {
public:
    static constexpr const char* kLockedMessage =
        "This application is locked. You must authenticate before using this feature.";
    // How long the end sequence waits for ssh-add -D to have emptied the agent.
    static constexpr double kAgentUnloadWaitSeconds = 5.0;

    QuillboreDel(RunLoop& runLoop, ProcessLauncher& launcher, SystemLog& log,
                 Authorizer& authorizer);
    ~QuillboreDel() override;

    // --- Outlets, set by the window layout before the first operation runs -------------
    Window* mainWindow = nullptr;
    Window* addWindow = nullptr;
    Window* editWindow = nullptr;
    Window* aboutWindow = nullptr;
    TextField* serverAddress = nullptr;
    TextField* userName = nullptr;
    TextField* userPassword = nullptr;
    TextField* serverPort = nullptr;
    TextField* statusText = nullptr;
    TextField* forwardInfo = nullptr;
    TextField* eServerAddress = nullptr;
    TextField* eUserName = nullptr;
    TextField* eUserPassword = nullptr;
    TextField* eServerPort = nullptr;
    TextField* eforwardInfo = nullptr;
    TableView* serviceList = nullptr;
    Button* isSocks = nullptr;
    Button* eisSocks = nullptr;
    Button* addButton = nullptr;
    Button* editButton = nullptr;
    Button* removeButton = nullptr;
    Button* startButton = nullptr;
    Button* stopButton = nullptr;
    Button* okButton = nullptr;
    Button* canButton = nullptr;
    Button* eokButton = nullptr;
    Button* ecanButton = nullptr;
    Button* reverseButton = nullptr;
    Button* eReverseButton = nullptr;
    Button* lockButtons = nullptr;
    Button* keepKeys = nullptr;

    // --- Preferences (applied by reloadPreferences) -------------------------------------
    bool use_my_command = false;
    std::string heres_my_command;
    std::string heres_my_arguments;
    bool use_ssh_askpass = false;
    bool has_prompt = false;
    bool recon = false;

    ActivityIndicator* wheelie = nullptr;
    std::int64_t currentRow = 0;
    // The tunnel of the entry the edit window shows. The window is not modal: rows move
    // while it is open, so its OK finds the entry by this, not by currentRow.
    std::weak_ptr<SSHTunnel> editedService;
    std::int64_t selectedRow = 0;
    // Absent until created (by the start sequence, or by the table asking early).
    std::optional<std::vector<ServiceEntry>> theServiceList;
    // Set by removeFromList when it removes the last entry: saveUserData then empties the
    // file instead of leaving the last non-empty list on disk.
    bool listEmptiedByUser = false;
    bool authRef = false; // a grant from the authorizer is held
    std::shared_ptr<Timer> lockTimer;

    // Desktop integration (tray, notices), set by the application when present: every change
    // of a service's status text, and every refresh of the status line.
    std::function<void(const ServiceEntry& entry)> statusDidChange;
    std::function<void()> statusLineDidChange;

    // Toolkit services that are not controls, set by the layout.
    PasswordPrompt* passwordPrompt = nullptr;
    AssertionHandler* assertionHandler = nullptr;

    // --- Diagnostics: the children's output, the log window, the forward check ----------
    Window* logWindow = nullptr;
    ActivityLog activityLog;
    static constexpr std::size_t kAlertDetailLines = 6;
    void showLog(Control* sender);
    // The alert sheet with the child's last words under the message.
    void doAlertWindow(const std::string& message, Window* win, const std::string& detail);
    void gotOutput(const std::string& line, SSHTunnel& with) override;
    std::string toolTipForRow(TableView* table, long row) override;
    // After "Running...": does the child (or a process below it) listen on the listen port?
    void checkForward(SSHTunnel& with);
    void logEvent(const SSHTunnel& tunnel, const std::string& text);

    // --- Common services ----------------------------------------------------------------
    std::string getUserDir();
    std::string getLoginName();
    void doAlertWindow(const std::string& message, Window* win);
    bool isLocked() const;
    // The lock test with its refusal: true (and the locked alert shown) when locked.
    bool refuseWhenLocked();
    // Starts ssh-add -D; the handle may be dropped (the process layer reaps the child).
    std::unique_ptr<ChildProcess> unloadAgentKeys();

    // --- Cipher -------------------------------------------------------------------------
    std::string mixString(const std::string& text);
    std::string encryptString(const std::string& text, const std::string& withKey);
    std::string decryptString(const std::string& text, const std::string& withKey);

    // --- Files --------------------------------------------------------------------------
    // In the home directory of the account record.
    static constexpr const char* kServiceListName = ".QuillboreSSH.lst";
    std::string serviceListPath();
    std::string preferencesPath();
    std::string askpassPath();
    void loadUserData();
    // Saves when the list's fields changed since the last save (markListChanged), not only a
    // status text: that cannot change the file's bytes.
    void saveUserData();
    void markListChanged() { listChanged_ = true; }
    void reloadPreferences();

    // --- Acting on one service, or on all ------------------------------------------------
    // One place for what the buttons, the row menu, the tray and the command line do: the
    // lock test and the other checks come first; a refusal is shown on `tellOn` (when given)
    // and returned, so that a caller without a window can report it. A service is known by its
    // tunnel, which stays the same while its entry is replaced.
    enum class Refusal { None, Locked, AlreadyRunning, AlreadyStopped, SomeRunning, NoService };
    static std::string refusalText(Refusal refusal);
    Refusal startOne(const std::shared_ptr<SSHTunnel>& service, Window* tellOn);
    Refusal stopOne(const std::shared_ptr<SSHTunnel>& service, Window* tellOn);
    Refusal startAll(Window* tellOn);
    Refusal stopAll(Window* tellOn);
    Refusal editOne(const std::shared_ptr<SSHTunnel>& service, Window* tellOn);
    Refusal removeOne(const std::shared_ptr<SSHTunnel>& service, Window* tellOn);
    // The service of a row, or none.
    std::shared_ptr<SSHTunnel> serviceAt(long row) const;
    // Askpass starts not yet made: each waits kAskpassSpacing after the one before.
    bool hasPendingStarts() const { return !startQueue_.empty(); }
    bool hasPendingStart(const std::shared_ptr<SSHTunnel>& service) const;
    static constexpr double kAskpassSpacing = 2.0;
    // Forgets the starts not yet made (Stop all, lock, quit): those services stay idle.
    void endStartChain();

    // --- Start, stop, status ------------------------------------------------------------
    void startTunnel(Control* sender);
    void stopTunnel(Control* sender);
    void updateStatus();
    void unlinkFile();
    bool whatsMyCommand() override;
    std::string whatsMyCommandString() override;
    std::string whatsMyVariables() override;
    bool shouldIRetry() override;
    void updateMyStatus(const std::string& status, SSHTunnel& with) override;
    // Keep-alive (a dead peer found within 45 s) and an exit when a forward cannot be set up,
    // for the built-in ssh, unless the user's OpenSSH configuration sets them for that host.
    std::vector<std::string> builtInOptions(const std::string& destination) override;
    // What the user's OpenSSH configuration sets; ssh -G unless a test puts in another.
    SshConfigQuery* sshConfig = &openSshConfig_;

    // --- A server ssh has no host key for -------------------------------------------------
    // The failure alert of a user's start that ssh refused for that reason offers this button.
    static constexpr const char* kTrustButton = "Trust this server\u2026";
    static constexpr const char* kConfirmTrustButton = "Trust and Start";
    // Fetches the server's keys (HostKeyFetch) and asks the user to confirm them; only then
    // are they added to the user's known-hosts file and the service started.
    void trustServer(const std::shared_ptr<SSHTunnel>& service);
    // Why ssh refused the server of the tunnel's last start, as far as its host key goes;
    // nothing for an own command.
    hostkeys::Refusal hostKeyRefusal(const SSHTunnel& tunnel) const;

    // --- Editing ------------------------------------------------------------------------
    void addService(Control* sender);
    void addToList(Control* sender);
    void editService(Control* sender);
    void editList(Control* sender);
    void removeFromList(Control* sender);
    void handleCheckBox(Control* sender);
    // The row of the entry that holds this tunnel, if any.
    std::optional<std::size_t> rowOfService(const std::shared_ptr<SSHTunnel>& tunnel) const;

    // --- Table --------------------------------------------------------------------------
    long numberOfRowsInTableView(TableView* table) override;
    CellView* viewForTableColumn(TableView* table, TableColumn* column, long row) override;
    void tableViewSelectionDidChange(TableView* table) override;
    void gotsAClick(Control* sender);
    void gotsADoubleClick();

    // --- Lock ---------------------------------------------------------------------------
    void toggleLock(Button* sender);
    // Locks an unlocked application; the alert that says so goes to `tellOn`.
    void lock(Window* tellOn);
    bool doAuth();
    void timeLock();
    void windowDidResignMain();
    void windowDidBecomeMain();

    // --- Start and end of the application -----------------------------------------------
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    void openPreferences(Control* sender);

    // Dependencies, for the parts of the controller spread over several files.
    RunLoop& runLoop() { return runLoop_; }
    ProcessLauncher& launcher() { return launcher_; }
    SystemLog& log() { return log_; }
    Authorizer& authorizer() { return authorizer_; }

private:
    std::shared_ptr<SSHTunnel> makeTunnel();
    // Opens the edit window on the entry at `row`.
    void openEditWindow(std::size_t row);
    void lockWith(Button& lockButton, Window* tellOn);
    // Refuses when locked: shows the locked alert on `tellOn` (if any) and answers true.
    bool refusedAsLocked(Window* tellOn);
    Refusal refuse(Refusal refusal, Window* tellOn);
    // After a Start: the askpass file's removal timer, then the status line.
    void afterStart();
    void queueStart(const std::shared_ptr<SSHTunnel>& service);
    void startNextQueued();
    bool dropPendingStart(const std::shared_ptr<SSHTunnel>& service);

    // An outage's failed restarts raise one alert, until every service recovered.
    void alertOutage(SSHTunnel& failed);
    // The failure alert; `mayTrust`: the start was the user's, so a server ssh does not know
    // may be trusted from it.
    void alertFailure(SSHTunnel& failed, bool mayTrust);
    // The alert sheet's fields: the headline with the login name, `message`, `detail` under it.
    Alert alertSaying(const std::string& message, const std::string& detail);
    void showHostKeys(const std::shared_ptr<SSHTunnel>& service,
                      const HostKeyFetch::Result& fetched);
    void addHostKeys(const std::shared_ptr<SSHTunnel>& service, const std::string& file,
                     const std::string& lines);
    // Runs `action` on the service later (an alert's button), if both are still there.
    std::function<void()> laterOn(const std::shared_ptr<SSHTunnel>& service,
                                  std::function<void(const std::shared_ptr<SSHTunnel>&)> action);
    // Fetches on their way, by the identity of their tunnel.
    std::map<unsigned long, std::unique_ptr<HostKeyFetch>> keyFetches_;

    bool outageAlerted_ = false;
    unsigned long lastServiceId_ = 0;
    // The service list's fields (not only a status) changed since the last save.
    bool listChanged_ = false;
    std::deque<std::weak_ptr<SSHTunnel>> startQueue_;
    std::shared_ptr<Timer> nextStart_;
    void lookForListener(std::weak_ptr<SSHTunnel> tunnel, int port, unsigned long start,
                         int attemptsLeft);
    void markForward(SSHTunnel& tunnel, const std::string& warning);
    // Expires with the controller: a forward check still pending then does nothing.
    std::shared_ptr<char> lifetime_ = std::make_shared<char>();

    RunLoop& runLoop_;
    ProcessLauncher& launcher_;
    SystemLog& log_;
    Authorizer& authorizer_;
    OpenSshConfig openSshConfig_{launcher_}; // after launcher_, which it uses
};
