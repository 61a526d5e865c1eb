// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/RunLoop.h"

#include <functional>
#include <memory>
#include <poll.h>
#include <utility>

// A watched descriptor as a poll(2)-based loop keeps it: the descriptor, the poll events that
// wake it and the action to run then.
struct PollWatch : DescriptorWatch {
    int fd = -1;
    short events = 0;
    bool valid = true;
    std::function<void()> action;

    static std::shared_ptr<PollWatch> make(int fd, RunLoop::Readiness readiness,
                                           std::function<void()> action) {
        auto w = std::make_shared<PollWatch>();
        w->fd = fd;
        w->events = readiness == RunLoop::Readiness::Read ? POLLIN : POLLOUT;
        w->action = std::move(action);
        return w;
    }

    void invalidate() override {
        valid = false;
        action = nullptr; // releases what the action captured
    }
    bool isValid() const override { return valid; }
};
