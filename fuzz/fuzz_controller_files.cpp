// SPDX-License-Identifier: GPL-3.0-or-later
// The controller reading its two files as they are on disk, whatever is in them: it must
// neither fail nor start more than the file asks for. Runs under with-test-home: the files
// are written into the temporary home of the test account record.
#include "ControllerFixture.h"
#include "store/Cipher.h"
#include "store/PreferencesFormat.h"
#include "store/ServiceListFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void fail() {
    std::abort();
}

void loadServiceList(const std::string& plain) {
    ControllerFixture f;
    const std::string login = f.controller.getLoginName();
    ControllerFixture::writeHomeFile(".QuillboreSSH.lst", cipher::encryptString(plain, login));
    f.controller.theServiceList.emplace();
    f.controller.loadUserData();

    const auto expected = servicelist::decode(plain).records;
    const auto& list = *f.controller.theServiceList;
    if (list.size() != expected.size()) fail();
    for (const auto& entry : list)
        if (entry.status != "Idle..." || !entry.service || entry.service->isRunning()) fail();
    if (!f.launcher.children.empty()) fail(); // loading starts nothing

    // What the controller saves loads back as the same services.
    f.controller.saveUserData();
    if (!expected.empty()) {
        const std::string saved = ControllerFixture::readHomeFile(".QuillboreSSH.lst");
        if (servicelist::decode(cipher::decryptString(saved, login)).records != expected) fail();
    }
}

void reloadPreferences(const std::string& plain) {
    ControllerFixture f;
    ControllerFixture::writeHomeFile(".QuillboreSSH", cipher::encryptString(plain, "529"));
    f.controller.reloadPreferences();

    const auto lines = prefsfile::elements(plain);
    const auto keyFiles = prefsfile::keyFileLines(lines);
    const auto& started = f.launcher.children;
    // At most one ssh-add per key-file line, and nothing else.
    if (started.size() > keyFiles.size()) fail();
    for (const auto& child : started)
        if (child->path != "/usr/bin/ssh-add") fail();
    // The three modes exclude each other.
    if (f.controller.use_my_command && f.controller.use_ssh_askpass) fail();
    if (f.controller.has_prompt && !f.controller.use_ssh_askpass) fail();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the file, the rest is its plain text (enciphered before writing).
    const std::string plain(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 1)
        reloadPreferences(plain);
    else
        loadServiceList(plain);
    return 0;
}
