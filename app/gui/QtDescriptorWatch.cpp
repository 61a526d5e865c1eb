// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtDescriptorWatch.h"

QtDescriptorWatch::QtDescriptorWatch(int fd, RunLoop::Readiness readiness,
                                     std::function<void()> action)
    : notifier_(new QSocketNotifier(static_cast<qintptr>(fd), readiness == RunLoop::Readiness::Read
                                                                  ? QSocketNotifier::Read
                                                                  : QSocketNotifier::Write)),
      action_(std::make_shared<std::function<void()>>(std::move(action))) {
    QObject::connect(notifier_.data(), &QSocketNotifier::activated, notifier_.data(),
                     [action = action_] {
                         auto keep = action;
                         if (*keep) (*keep)();
                     });
}

QtDescriptorWatch::~QtDescriptorWatch() {
    invalidate();
}

// The notifier may be the sender of the signal being handled: it goes from the event loop.
void QtDescriptorWatch::invalidate() {
    if (notifier_) {
        notifier_->setEnabled(false);
        notifier_->deleteLater();
    }
    notifier_.clear();
    *action_ = nullptr;
}
