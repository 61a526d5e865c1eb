// SPDX-License-Identifier: GPL-3.0-or-later
// The preferences reader: any file content splits into lines without failing, key-file
// entries parse, and what is read writes back to the same settings and key files.
#include "store/Cipher.h"
#include "store/PreferencesFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail() {
    std::abort();
}

std::string join(const std::vector<std::string>& pieces, const std::string& separator) {
    std::string out;
    for (std::size_t i = 0; i < pieces.size(); ++i)
        out += (i ? separator : "") + pieces[i];
    return out;
}

void checkKeyFileLine(const std::string& line) {
    const prefsfile::KeyFileEntry entry = prefsfile::parseKeyFileLine(line);
    const std::size_t colon = line.find(':');
    if (entry.arguments.empty()) fail();
    if (join(entry.arguments, " ") != line.substr(0, colon)) fail();
    if (entry.passphrase.has_value() != (colon != std::string::npos)) fail();
    if (entry.passphrase) {
        const std::size_t next = line.find(':', colon + 1);
        if (*entry.passphrase !=
            line.substr(colon + 1,
                        next == std::string::npos ? std::string::npos : next - colon - 1))
            fail();
    }
}

void check(const std::string& plain) {
    const std::vector<std::string> elements = prefsfile::elements(plain);
    if (elements.empty() || join(elements, "\r\n") != plain) fail();
    for (const auto& e : elements) {
        if (e.find("\r\n") != std::string::npos) fail();
        if (prefsfile::isSetFlag(e) != (e == "1")) fail();
    }

    const std::vector<std::string> keyFiles = prefsfile::keyFileLines(elements);
    if (elements.size() <= prefsfile::kFirstKeyFileLine + 1
            ? !keyFiles.empty()
            : keyFiles.size() != elements.size() - 8)
        fail();
    for (const auto& line : keyFiles)
        checkKeyFileLine(line);

    if (elements.size() < prefsfile::kSettingsElementCount) return;
    // Written back by the preferences window: the same flags, texts and key files.
    auto flag = [&](std::size_t line) { return prefsfile::isSetFlag(elements[line]) ? 1L : 0L; };
    const std::string written =
        prefsfile::encode(flag(prefsfile::kKeyOptionLine), flag(prefsfile::kComOptionLine),
                          flag(prefsfile::kAskPassLine), flag(prefsfile::kUsePromptLine),
                          elements[prefsfile::kCommandLine], elements[prefsfile::kArgumentsLine],
                          flag(prefsfile::kReconLine), join(keyFiles, "\r\n"));
    const std::vector<std::string> reread = prefsfile::elements(written);
    if (reread.size() < 9 || !reread.back().empty()) fail();
    for (std::size_t line = 0; line < prefsfile::kSettingsElementCount; ++line)
        if (prefsfile::isSetFlag(reread[line]) != prefsfile::isSetFlag(elements[line])) fail();
    if (reread[prefsfile::kCommandLine] != elements[prefsfile::kCommandLine]) fail();
    if (reread[prefsfile::kArgumentsLine] != elements[prefsfile::kArgumentsLine]) fail();
    // An empty key-file list is written as one empty line.
    const std::vector<std::string> expected =
        keyFiles.empty() ? std::vector<std::string>{""} : keyFiles;
    if (prefsfile::keyFileLines(reread) != expected) fail();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    check(file);
    check(cipher::decryptString(file, "529")); // as the application reads it
    return 0;
}
