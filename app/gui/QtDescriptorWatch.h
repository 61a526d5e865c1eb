// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/RunLoop.h"

#include <QPointer>
#include <QSocketNotifier>
#include <functional>
#include <memory>

// One watched descriptor of QtRunLoop: a QSocketNotifier on the main event loop. It lives as
// long as the handle that the run loop returned.
class QtDescriptorWatch : public DescriptorWatch {
public:
    QtDescriptorWatch(int fd, RunLoop::Readiness readiness, std::function<void()> action);
    ~QtDescriptorWatch() override;

    void invalidate() override;
    bool isValid() const override { return notifier_ != nullptr; }

private:
    QPointer<QSocketNotifier> notifier_;
    // Shared, so an action that invalidates its own watch finishes running first.
    std::shared_ptr<std::function<void()>> action_;
};
