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

} // namespace

std::string mixString(std::string_view text) {
    return std::string(text.rbegin(), text.rend());
}

std::string encryptString(std::string_view text, std::string_view withKey) {
    return mixString(mapAll(text, withKey.size(), true));
}

std::string decryptString(std::string_view text, std::string_view withKey) {
    return mapAll(mixString(text), withKey.size(), false);
}

} // namespace cipher
