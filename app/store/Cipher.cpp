// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Cipher.h"

namespace cipher {
namespace {

// Letters rotate by 13 plus the shift; "1" to "8" are mirrored; every other byte, those
// outside ASCII included, is left as it is. The rotation only matters modulo 26, so it is
// reduced first: no overflow however long the key or the text.
char mapByte(char c, std::size_t shift, bool forward) {
    const int step = static_cast<int>((13 + shift % 26) % 26);
    auto rotate = [&](char base) {
        const int offset = c - base;
        return static_cast<char>(base + (forward ? offset + step : offset + 26 - step) % 26);
    };
    if (c >= 'A' && c <= 'Z') return rotate('A');
    if (c >= 'a' && c <= 'z') return rotate('a');
    if (c >= '1' && c <= '8') return static_cast<char>(105 - c);
    return c;
}

// The shift of a byte comes from its position in the plain text: 0, 1, ..., L, 0, 1, ...
std::string mapAll(std::string_view text, std::size_t keyLength, bool forward) {
    std::string out(text);
    std::size_t shift = 0;
    for (char& c : out) {
        c = mapByte(c, shift, forward);
        shift = (shift == keyLength) ? 0 : shift + 1;
    }
    return out;
}

// Length of the well-formed UTF-8 sequence at the start of `s`, or 0 when there is none.
std::size_t sequenceLength(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // no overlong forms
        else if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (s.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

} // namespace

std::size_t keyLength(std::string_view key) {
    std::size_t count = 0;
    while (!key.empty()) {
        const std::size_t length = sequenceLength(key);
        key.remove_prefix(length == 0 ? 1 : length);
        ++count;
    }
    return count;
}

std::string mixString(std::string_view text) {
    return std::string(text.rbegin(), text.rend());
}

std::string encryptString(std::string_view text, std::string_view withKey) {
    return mixString(mapAll(text, keyLength(withKey), true));
}

std::string decryptString(std::string_view text, std::string_view withKey) {
    return mapAll(mixString(text), keyLength(withKey), false);
}

} // namespace cipher
