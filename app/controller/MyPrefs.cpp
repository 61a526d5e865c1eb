#include "controller/MyPrefs.h"

#include "controller/QuillboreDel.h"
#include "platform/Files.h"
#include "platform/Text.h"

#include <cctype>
#include <optional>
#include <vector>

namespace {

constexpr const char* kPreferencesKey = "529";

// The lines of the preferences file (1-based as the format counts them).
enum Line : std::size_t {
    kKeyMode = 1,
    kCommandMode = 2,
    kAskpassMode = 3,
    kPrompt = 4,
    kCommand = 5,
    kArguments = 6,
    kReconnect = 7,
    kFirstKeyFile = 8,
};

const std::string& line(const std::vector<std::string>& elements, Line n) {
    return elements[n - 1];
}

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
    if (userKeys || !delResponder) return;

    // Read as ASCII: a file holding anything else is treated as no file at all.
    std::string stored = files::readWhole(delResponder->preferencesPath()).value_or("");
    if (!text::isPlainAscii(stored)) stored.clear();
    const std::vector<std::string> elements =
        text::split(delResponder->decryptString(stored, kPreferencesKey), "\r\n");
    if (elements.size() < 2) return;

    // A damaged file that lacks one of the first seven lines leaves the controls as they are.
    if (elements.size() >= kReconnect) {
        if (commandInfo) commandInfo->setStringValue(line(elements, kCommand));
        if (commandArgs) commandArgs->setStringValue(line(elements, kArguments));
        setState(keyOption, toggleState(line(elements, kKeyMode)));
        setState(comOption, toggleState(line(elements, kCommandMode)));
        setState(askPass, toggleState(line(elements, kAskpassMode)));
        setState(usePrompt, toggleState(line(elements, kPrompt)));
        setState(reconOption, toggleState(line(elements, kReconnect)));

        if (isOn(keyOption)) keyFileRule(*this);
        if (isOn(comOption)) ownCommandRule(*this);
        if (isOn(askPass)) askpassRule(*this, false);
    }

    delResponder->log().write("Count " + std::to_string(elements.size()));

    if (elements.size() > kFirstKeyFile) {
        std::string display;
        for (std::size_t i = kFirstKeyFile - 1; i + 1 < elements.size(); ++i)
            display = display.empty() ? elements[i] : display + "\n" + elements[i];
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

    auto flag = [](const Button* b) { return std::to_string(b ? b->state() : 0); };
    const std::string plain = flag(keyOption) + "\r\n" + flag(comOption) + "\r\n" + flag(askPass) +
                              "\r\n" + flag(usePrompt) + "\r\n" + command + "\r\n" + arguments +
                              "\r\n" + flag(reconOption) + "\r\n" + keys + "\r\n";
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
