// SPDX-License-Identifier: GPL-3.0-or-later
#include "controller/MyPrefs.h"

#include "controller/QuillboreDel.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "store/PreferencesFormat.h"

#include <cctype>
#include <optional>
#include <vector>

namespace {

constexpr const char* kPreferencesKey = "529";

// The integer value of a flag line as a toggle takes it: leading blanks, an optional sign,
// then digits; anything else counts as 0. A toggle has two states, so any other number is on.
int toggleState(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        if (text[i] != '0') return 1;
    return 0;
}

bool isOn(const Button* b) {
    return b && b->state() == 1;
}

void setState(Button* b, int state) {
    if (b) b->setState(state);
}
void setEnabled(Button* b, bool enabled) {
    if (b) b->setEnabled(enabled);
}
void setEnabled(TextField* f, bool enabled) {
    if (f) f->setEnabled(enabled);
}
std::string valueOf(const TextField* f) {
    return f ? f->stringValue() : std::string();
}

bool holdsLineBreak(const std::string& s) {
    return s.find_first_of("\r\n") != std::string::npos;
}

// The file is ASCII, one value per CR LF line: anything else would be lost or would shift
// every later line.
std::optional<std::string> whyNotStorable(const std::string& command, const std::string& arguments,
                                          const std::string& keys) {
    const char* field = nullptr;
    if (!text::isPlainAscii(command))
        field = "The command";
    else if (!text::isPlainAscii(arguments))
        field = "The arguments of the command";
    else if (!text::isPlainAscii(keys))
        field = "The list of key files";
    if (field)
        return std::string(field) +
               " holds characters that the preferences file cannot store. Use plain ASCII "
               "characters only, then save again. Nothing was saved.";
    if (holdsLineBreak(command) || holdsLineBreak(arguments))
        return std::string("The command and its arguments must each fit on one line. Remove the "
                           "line breaks, then save again. Nothing was saved.");
    return std::nullopt;
}

void keyFileRule(MyPrefs& p) {
    setState(p.comOption, 0);
    setState(p.askPass, 0);
    setState(p.usePrompt, 0);
    setEnabled(p.usePrompt, false);
    setEnabled(p.commandInfo, false);
    setEnabled(p.commandArgs, false);
}

void ownCommandRule(MyPrefs& p) {
    setState(p.keyOption, 0);
    setState(p.askPass, 0);
    setState(p.usePrompt, 0);
    setEnabled(p.usePrompt, false);
    setEnabled(p.commandInfo, true);
    setEnabled(p.commandArgs, true);
}

void askpassRule(MyPrefs& p, bool clicked) {
    setState(p.keyOption, 0);
    setState(p.comOption, 0);
    if (clicked) setState(p.usePrompt, 0);
    setEnabled(p.usePrompt, true);
    setEnabled(p.commandInfo, false);
    setEnabled(p.commandArgs, false);
}

} // namespace

void MyPrefs::windowDidBecomeKey() {
    if (!initialControls_) initialControls_ = captureControls();
    if (userKeys || !delResponder) return;

    const std::vector<std::string> elements = prefsfile::elements(delResponder->decryptString(
        files::readWhole(delResponder->preferencesPath()).value_or(""), kPreferencesKey));
    if (elements.size() < 2) return;

    // A damaged file that lacks one of the first seven lines leaves the controls as they are.
    if (elements.size() >= prefsfile::kSettingsElementCount) {
        using namespace prefsfile;
        if (commandInfo) commandInfo->setStringValue(elements[kCommandLine]);
        if (commandArgs) commandArgs->setStringValue(elements[kArgumentsLine]);
        setState(keyOption, toggleState(elements[kKeyOptionLine]));
        setState(comOption, toggleState(elements[kComOptionLine]));
        setState(askPass, toggleState(elements[kAskPassLine]));
        setState(usePrompt, toggleState(elements[kUsePromptLine]));
        setState(reconOption, toggleState(elements[kReconLine]));

        if (isOn(keyOption)) keyFileRule(*this);
        if (isOn(comOption)) ownCommandRule(*this);
        if (isOn(askPass)) askpassRule(*this, false);
    }

    delResponder->log().write("Count " + std::to_string(elements.size()));

    // Only a file that lists at least one key-file line (eight lines and the empty last
    // element) takes the key-file list, and with it stops further refills.
    if (elements.size() > prefsfile::kFirstKeyFileLine + 1) {
        std::string display;
        for (const std::string& entry : prefsfile::keyFileLines(elements))
            display = display.empty() ? entry : display + "\n" + entry;
        if (keyFiles) keyFiles->setString(display);
        userKeys = text::replaceAll(display, "\n", "\r\n");
    }
}

void MyPrefs::clickedOption(Control* sender) {
    if (sender && sender == keyOption && isOn(keyOption))
        keyFileRule(*this);
    else if (sender && sender == comOption && isOn(comOption))
        ownCommandRule(*this);
    else if (sender && sender == askPass && isOn(askPass))
        askpassRule(*this, true);

    // Exactly one mode is always selected.
    if (!isOn(askPass) && !isOn(keyOption) && !isOn(comOption)) setState(keyOption, 1);
}

void MyPrefs::userSave(Control*) {
    if (!delResponder) return;
    const std::string command = valueOf(commandInfo);
    const std::string arguments = valueOf(commandArgs);
    const std::string keys = userKeys.value_or("");

    if (auto problem = whyNotStorable(command, arguments, keys)) {
        delResponder->doAlertWindow(*problem, wind);
        return;
    }

    auto state = [](const Button* b) -> long { return b ? b->state() : 0; };
    const std::string plain =
        prefsfile::encode(state(keyOption), state(comOption), state(askPass), state(usePrompt),
                          command, arguments, state(reconOption), keys);
    // A failed write is not reported: the reload below then applies the old file, if any.
    files::writeAtomically(delResponder->preferencesPath(),
                           delResponder->encryptString(plain, kPreferencesKey));
    delResponder->reloadPreferences();
    if (wind) wind->orderOut();
}

void MyPrefs::setKeysFiles(Control*) {
    userKeys = text::replaceAll(keyFiles ? keyFiles->string() : std::string(), "\n", "\r\n");
    if (keyWin) keyWin->orderOut();
}

void MyPrefs::userCancel(Control*) {
    if (initialControls_) restoreControls(*initialControls_);
    userKeys.reset();
    windowDidBecomeKey();
    if (wind) wind->orderOut();
}

MyPrefs::Controls MyPrefs::captureControls() const {
    Controls c;
    const Button* toggles[] = {keyOption, comOption, askPass, usePrompt, reconOption};
    for (std::size_t i = 0; i < 5; ++i)
        c.states[i] = toggles[i] ? toggles[i]->state() : 0;
    c.enabled[0] = usePrompt && usePrompt->isEnabled();
    c.enabled[1] = commandInfo && commandInfo->isEnabled();
    c.enabled[2] = commandArgs && commandArgs->isEnabled();
    c.command = valueOf(commandInfo);
    c.arguments = valueOf(commandArgs);
    c.keys = keyFiles ? keyFiles->string() : std::string();
    return c;
}

void MyPrefs::restoreControls(const Controls& c) {
    Button* toggles[] = {keyOption, comOption, askPass, usePrompt, reconOption};
    for (std::size_t i = 0; i < 5; ++i)
        setState(toggles[i], c.states[i]);
    setEnabled(usePrompt, c.enabled[0]);
    setEnabled(commandInfo, c.enabled[1]);
    setEnabled(commandArgs, c.enabled[2]);
    if (commandInfo) commandInfo->setStringValue(c.command);
    if (commandArgs) commandArgs->setStringValue(c.arguments);
    if (keyFiles) keyFiles->setString(c.keys);
}
