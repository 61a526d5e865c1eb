// SPDX-License-Identifier: GPL-3.0-or-later
// The string cipher: every text comes back from a round trip, whatever its bytes and key.
#include "store/Cipher.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void fail() {
    std::abort();
}

bool isAscii(const std::string& s) {
    for (unsigned char c : s)
        if (c > 0x7F) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte is the key's length (only the length matters), the rest is the text.
    const std::string key(data[0] % 64, 'k');
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::string enciphered = cipher::encryptString(text, key);
    if (enciphered.size() != text.size()) fail();
    if (cipher::decryptString(enciphered, key) != text) fail();
    // Deciphering first is a round trip too: a file of any content loads and saves unchanged.
    if (cipher::encryptString(cipher::decryptString(text, key), key) != text) fail();
    if (isAscii(text) != isAscii(enciphered)) fail();
    if (cipher::mixString(cipher::mixString(text)) != text) fail();
    return 0;
}
