// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Shows desktop notices. A notice with the key of an earlier one replaces it where the
// notification service can; without a notification service nothing happens.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void show(const std::string& key, const std::string& summary,
                      const std::string& body) = 0;
};
