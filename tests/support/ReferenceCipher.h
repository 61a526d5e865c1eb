// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// An encoder written apart from app/store, to check the bytes that land on disk: letters
// rotate by 13 plus a shift that cycles 0..keyLength, "1"-"8" mirror, then the text reverses.
inline std::string referenceEncipher(const std::string& plain, std::size_t keyLength) {
    std::string mapped;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const int shift = static_cast<int>(i % (keyLength + 1));
        char c = plain[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>('a' + (c - 'a' + 13 + shift) % 26);
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>('A' + (c - 'A' + 13 + shift) % 26);
        else if (c >= '1' && c <= '8')
            c = static_cast<char>('1' + ('8' - c));
        mapped.push_back(c);
    }
    return std::string(mapped.rbegin(), mapped.rend());
}
