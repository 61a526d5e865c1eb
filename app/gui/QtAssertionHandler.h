// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controller/toolkit.h"

// A programming error: stops the application with the description (qFatal).
class QtAssertionHandler : public AssertionHandler {
public:
    void handleFailure(const std::string& description) override;
};
