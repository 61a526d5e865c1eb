// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace text {

// Splits at every occurrence of `separator`, keeping empty pieces: "" gives one empty piece,
// "a,," gives "a", "", "". The separator must not be empty.
inline std::vector<std::string> split(std::string_view s, std::string_view separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        std::size_t at = s.find(separator, start);
        if (at == std::string_view::npos) {
            pieces.emplace_back(s.substr(start));
            return pieces;
        }
        pieces.emplace_back(s.substr(start, at - start));
        start = at + separator.size();
    }
}

// Replaces every occurrence of `from` (not empty) by `to`, scanning left to right.
inline std::string replaceAll(std::string_view s, std::string_view from, std::string_view to) {
    std::string out;
    std::size_t start = 0;
    for (;;) {
        std::size_t at = s.find(from, start);
        if (at == std::string_view::npos) {
            out.append(s.substr(start));
            return out;
        }
        out.append(s.substr(start, at - start));
        out.append(to);
        start = at + from.size();
    }
}

inline bool isPlainAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c > 0x7F) return false;
    return true;
}

} // namespace text
