// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/PreferencesFormat.h"

#include "platform/Text.h"

namespace prefsfile {

std::vector<std::string> elements(std::string_view plain) {
    return text::split(plain, kLineEnd);
}

std::string encode(long keyOption, long comOption, long askPass, long usePrompt,
                   std::string_view commandInfo, std::string_view commandArgs, long reconOption,
                   std::string_view keyFiles) {
    std::string plain;
    auto line = [&plain](std::string_view value) {
        plain += value;
        plain += kLineEnd;
    };
    line(std::to_string(keyOption));
    line(std::to_string(comOption));
    line(std::to_string(askPass));
    line(std::to_string(usePrompt));
    line(commandInfo);
    line(commandArgs);
    line(std::to_string(reconOption));
    line(keyFiles);
    return plain;
}

bool isSetFlag(std::string_view line) {
    return line == "1";
}

std::vector<std::string> keyFileLines(const std::vector<std::string>& elements) {
    if (elements.size() <= kSettingsElementCount) return {};
    return std::vector<std::string>(elements.begin() + kFirstKeyFileLine, elements.end() - 1);
}

KeyFileEntry parseKeyFileLine(std::string_view line) {
    std::vector<std::string> parts = text::split(line, ":");
    KeyFileEntry entry;
    entry.arguments = text::split(parts[0], " ");
    if (parts.size() >= 2) entry.passphrase = parts[1];
    return entry;
}

} // namespace prefsfile
