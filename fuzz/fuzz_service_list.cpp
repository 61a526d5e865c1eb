// SPDX-License-Identifier: GPL-3.0-or-later
// The service list loader: any file content decodes without failing, and what it decodes
// to saves and loads back unchanged.
#include "store/Cipher.h"
#include "store/ServiceListFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void fail() {
    std::abort();
}

void checkFields(const servicelist::Record& r) {
    for (const std::string* field :
         {&r.server, &r.listenPort, &r.user, &r.password, &r.tunnelDescription}) {
        if (field->find(servicelist::kFieldSeparator) != std::string::npos) fail();
        if (field->find(servicelist::kRecordSeparator) != std::string::npos) fail();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    // As the application loads it: deciphered with the login name, then decoded.
    for (const std::string& plain : {file, cipher::decryptString(file, "qbtester")}) {
        const servicelist::Decoded first = servicelist::decode(plain);
        for (const auto& r : first.records)
            checkFields(r);
        if (plain.empty() && (!first.records.empty() || !first.skippedRecords.empty())) fail();
        for (std::size_t position : first.skippedRecords)
            if (position == 0) fail();

        const std::string saved = servicelist::encode(first.records);
        const servicelist::Decoded second = servicelist::decode(saved);
        if (second.records != first.records || !second.skippedRecords.empty()) fail();
        if (servicelist::encode(second.records) != saved) fail();
        // Nothing was dropped or skipped: the save reproduces the file byte for byte.
        if (first.skippedRecords.empty() && !plain.empty() && saved.size() == plain.size() &&
            saved != plain)
            fail();
    }
    return 0;
}
