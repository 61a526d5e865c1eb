// SPDX-License-Identifier: GPL-3.0-or-later
// Service list file and preferences file.
#include "controller/QuillboreDel.h"
#include "platform/Files.h"
#include "store/PreferencesFormat.h"
#include "store/ServiceListFormat.h"

#include <string>
#include <vector>

namespace {

constexpr const char* kWelcomeMessage =
    "Thank you for installing my app! If you are not using the auto fill method of ssh-askpass "
    "then do not type your actual password as you will be prompted to input your password at "
    "the time of connection. To learn about the ssh-askpass options please see our website.";

constexpr const char* kPreferencesKey = "529";

} // namespace

void QuillboreDel::loadUserData() {
    if (!theServiceList) theServiceList.emplace();
    const std::string login = getLoginName();
    const std::string plain =
        decryptString(files::readWhole(serviceListPath()).value_or(""), login);
    if (plain.empty()) {
        doAlertWindow(kWelcomeMessage, mainWindow);
        return;
    }

    servicelist::Decoded decoded = servicelist::decode(plain);
    // The fields of a damaged record are not logged: one of them is a password.
    for (std::size_t position : decoded.skippedRecords)
        log().write("Skipped damaged service record " + std::to_string(position) +
                    ": fewer than five fields");
    for (const servicelist::Record& r : decoded.records) {
        std::shared_ptr<SSHTunnel> tunnel = makeTunnel();
        tunnel->setUser(r.user, r.password, r.server, r.listenPort, r.tunnelDescription);
        theServiceList->push_back(ServiceEntry{r.server, r.listenPort, "Idle...", r.user,
                                               r.password, r.tunnelDescription, tunnel});
    }
    markListChanged();
    if (serviceList) serviceList->reloadData();
}

void QuillboreDel::saveUserData() {
    // A reload after a status change cannot change the file's bytes: nothing to encode.
    if (!theServiceList || !listChanged_) return;
    if (theServiceList->empty()) {
        // An empty list reaches the file only when the user has removed the last service.
        if (listEmptiedByUser)
            listChanged_ = !files::writeAtomicallyIfChanged(serviceListPath(), "");
        return;
    }
    listEmptiedByUser = false;

    std::vector<servicelist::Record> records;
    records.reserve(theServiceList->size());
    for (const ServiceEntry& e : *theServiceList)
        records.push_back({e.server, e.listenPort, e.user, e.password, e.tunnelDescription});
    // Every reload of the table saves; most reloads (status changes) leave the bytes as they are.
    // Kept marked when the write failed: the next reload tries again.
    listChanged_ = !files::writeAtomicallyIfChanged(
        serviceListPath(), encryptString(servicelist::encode(records), getLoginName()));
}

void QuillboreDel::reloadPreferences() {
    log().write("reload preference file recieved");
    const std::string plain =
        decryptString(files::readWhole(preferencesPath()).value_or(""), kPreferencesKey);
    const std::vector<std::string> lines = prefsfile::elements(plain);

    // A file that lacks any of lines 1 to 7 is damaged: it is ignored as a whole.
    if (isLocked() || lines.size() < prefsfile::kSettingsElementCount) return;

    using prefsfile::isSetFlag;
    if (isSetFlag(lines[prefsfile::kKeyOptionLine])) {
        use_my_command = false;
        use_ssh_askpass = false;
        has_prompt = false;
    } else if (isSetFlag(lines[prefsfile::kComOptionLine])) {
        use_my_command = true;
        use_ssh_askpass = false;
        has_prompt = false;
    } else if (isSetFlag(lines[prefsfile::kAskPassLine])) {
        use_my_command = false;
        use_ssh_askpass = true;
        has_prompt = isSetFlag(lines[prefsfile::kUsePromptLine]);
    }
    heres_my_command = lines[prefsfile::kCommandLine];
    heres_my_arguments = lines[prefsfile::kArgumentsLine];
    recon = isSetFlag(lines[prefsfile::kReconLine]);

    for (const std::string& line : prefsfile::keyFileLines(lines)) {
        prefsfile::KeyFileEntry entry = prefsfile::parseKeyFileLine(line);
        std::unique_ptr<ChildProcess> process = launcher().create();
        std::string stdinText;
        if (entry.passphrase) {
            stdinText = *entry.passphrase + "\n";
            // The passphrase itself never goes to the system log.
            log().write("-- " + lines[prefsfile::kKeyOptionLine] + " : ********");
            // With DISPLAY or WAYLAND_DISPLAY set, ssh-add would otherwise run an askpass
            // program and ignore the passphrase waiting on its standard input.
            process->setEnvironment("SSH_ASKPASS_REQUIRE", "never");
        }
        // The handle is dropped at once; the process layer reaps ssh-add when it ends.
        process->launch("/usr/bin/ssh-add", entry.arguments, stdinText, true);
    }
}
