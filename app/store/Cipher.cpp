#include "store/Cipher.h"

#include <algorithm>

namespace cipher {
namespace {

// Letters rotate by 13 plus the shift; "1" to "8" are mirrored; all else is unchanged.
char mapByte(char c, int shift, int direction) {
    auto rotate = [&](char base) {
        int offset = ((c - base) + direction * (13 + shift)) % 26;
        if (offset < 0) offset += 26;
        return static_cast<char>(base + offset);
    };
    if (c >= 'A' && c <= 'Z') return rotate('A');
    if (c >= 'a' && c <= 'z') return rotate('a');
    if (c >= '1' && c <= '8') return static_cast<char>(105 - c);
    return c;
}

std::string mapAll(std::string_view text, std::size_t keyLength, int direction) {
    std::string out(text);
    const std::size_t period = keyLength + 1;
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = mapByte(out[i], static_cast<int>(i % period), direction);
    return out;
}

} // namespace

std::string mixString(std::string_view text) {
    return std::string(text.rbegin(), text.rend());
}

std::string encryptString(std::string_view text, std::string_view withKey) {
    return mixString(mapAll(text, withKey.size(), +1));
}

std::string decryptString(std::string_view text, std::string_view withKey) {
    return mapAll(mixString(text), withKey.size(), -1);
}

} // namespace cipher
