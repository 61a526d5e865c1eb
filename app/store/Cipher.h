#pragma once

#include <string>
#include <string_view>

// The reversible text scrambling of every stored file. Only the key's length matters.
// Bytes outside ASCII are passed through unchanged (callers keep them out of files).
namespace cipher {

std::string mixString(std::string_view text);
std::string encryptString(std::string_view text, std::string_view withKey);
std::string decryptString(std::string_view text, std::string_view withKey);

} // namespace cipher
