// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// The reversible text scrambling of every stored file. Only the key's length matters: its
// number of characters, read as UTF-8 (see keyLength). Bytes of the text outside ASCII are
// passed through unchanged (callers keep them out of files).
namespace cipher {

// The number of characters of `key` read as UTF-8: one per well-formed sequence, and one per
// byte that is not part of one. A login name such as "zoë" has 3, not 4 (its bytes).
std::size_t keyLength(std::string_view key);

std::string mixString(std::string_view text);
std::string encryptString(std::string_view text, std::string_view withKey);
std::string decryptString(std::string_view text, std::string_view withKey);

} // namespace cipher
