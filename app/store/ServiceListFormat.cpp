// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/ServiceListFormat.h"

#include "platform/Text.h"

namespace servicelist {

std::string encode(const std::vector<Record>& records) {
    std::string plain;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        if (i > 0) plain += kRecordSeparator;
        for (const std::string* field :
             {&r.server, &r.listenPort, &r.user, &r.password, &r.tunnelDescription}) {
            if (field != &r.server) plain += kFieldSeparator;
            plain += *field;
        }
    }
    return plain;
}

Decoded decode(std::string_view plain) {
    Decoded decoded;
    if (plain.empty()) return decoded;
    std::size_t position = 0;
    for (const std::string& record : text::split(plain, kRecordSeparator)) {
        ++position;
        std::vector<std::string> fields =
            text::split(record, std::string_view(&kFieldSeparator, 1));
        if (fields.size() < kFieldCount) {
            decoded.skippedRecords.push_back(position);
            continue;
        }
        decoded.records.push_back(Record{std::move(fields[0]), std::move(fields[1]),
                                         std::move(fields[2]), std::move(fields[3]),
                                         std::move(fields[4])});
    }
    return decoded;
}

bool isStorableField(std::string_view field) {
    if (!text::isPlainAscii(field)) return false;
    if (field.find(kFieldSeparator) != std::string_view::npos) return false;
    return field.find(kRecordSeparator) == std::string_view::npos;
}

} // namespace servicelist
