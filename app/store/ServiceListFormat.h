// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The plain text of the service list file (before enciphering): one record per service,
// records joined by CR LF without a trailing one, five fields per record joined by 0x1F.
namespace servicelist {

inline constexpr char kFieldSeparator = '\x1f';
inline constexpr std::string_view kRecordSeparator = "\r\n";
inline constexpr std::size_t kFieldCount = 5;

// The stored fields of one service, in file order.
struct Record {
    std::string server;
    std::string listenPort;
    std::string user;
    std::string password;
    std::string tunnelDescription;

    bool operator==(const Record&) const = default;
};

struct Decoded {
    std::vector<Record> records;
    // Records with fewer than five fields, left out; 1-based positions in the text.
    std::vector<std::size_t> skippedRecords;
};

std::string encode(const std::vector<Record>& records);

// Never fails: fields after the fifth are dropped, records with fewer than five are skipped.
// The empty text holds no records.
Decoded decode(std::string_view plain);

// False for a field that would not survive a round trip or the cipher: it holds the field
// separator, a CR LF pair or a byte outside ASCII.
bool isStorableField(std::string_view field);

} // namespace servicelist
