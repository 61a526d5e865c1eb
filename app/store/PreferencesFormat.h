// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The plain text of the preferences file (before enciphering): one element per line, every
// line ended by CR LF. Lines 1 to 7 hold the settings; from line 8 on, one key file per line;
// the element after the last CR LF is empty.
namespace prefsfile {

inline constexpr std::string_view kLineEnd = "\r\n";

// Lines, 0-based, in the elements of the split text.
inline constexpr std::size_t kKeyOptionLine = 0;
inline constexpr std::size_t kComOptionLine = 1;
inline constexpr std::size_t kAskPassLine = 2;
inline constexpr std::size_t kUsePromptLine = 3;
inline constexpr std::size_t kCommandLine = 4;
inline constexpr std::size_t kArgumentsLine = 5;
inline constexpr std::size_t kReconLine = 6;
inline constexpr std::size_t kFirstKeyFileLine = 7;
// A file with fewer elements lacks some of lines 1 to 7.
inline constexpr std::size_t kSettingsElementCount = 7;

// Split at every CR LF, empty pieces kept: a text without CR LF is one element.
std::vector<std::string> elements(std::string_view plain);

// The text of the file: "%li\r\n%li\r\n%li\r\n%li\r\n%@\r\n%@\r\n%li\r\n%@\r\n".
// `keyFiles` is the stored key-file list, entries joined by CR LF.
std::string encode(long keyOption, long comOption, long askPass, long usePrompt,
                   std::string_view commandInfo, std::string_view commandArgs, long reconOption,
                   std::string_view keyFiles);

// A flag counts as set only when its line is exactly "1".
bool isSetFlag(std::string_view line);

// The key-file entries of a split file: line 8 up to, not including, the last element.
// None when there are seven elements or fewer.
std::vector<std::string> keyFileLines(const std::vector<std::string>& elements);

// One key-file entry: the text before the first ":" split at every " " is the argument list
// of ssh-add; the text between the first and the second ":" is the passphrase.
struct KeyFileEntry {
    std::vector<std::string> arguments;
    std::optional<std::string> passphrase; // absent without a ":"
};
KeyFileEntry parseKeyFileLine(std::string_view line);

} // namespace prefsfile
