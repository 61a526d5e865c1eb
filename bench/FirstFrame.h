// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>

// Start-up to the first painted frame: from QB_BENCH_T0 (CLOCK_REALTIME nanoseconds, taken by
// the caller just before the exec) until the first paint of a visible window has been done
// and its backing store flushed to the display (the zero timer runs after that flush, which
// ends the same event). Prints the milliseconds and quits.
class FirstFrame : public QObject {
public:
    FirstFrame() { qApp->installEventFilter(this); }

    bool eventFilter(QObject* target, QEvent* event) override {
        if (done_ || event->type() != QEvent::Paint) return false;
        auto* widget = qobject_cast<QWidget*>(target);
        if (!widget || !widget->window()->isVisible()) return false;
        done_ = true;
        QTimer::singleShot(0, [] {
            const char* t0 = std::getenv("QB_BENCH_T0");
            const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
            std::printf("%.1f\n", t0 ? (now - std::atoll(t0)) / 1e6 : 0.0);
            std::fflush(stdout);
            QApplication::quit();
        });
        return false;
    }

private:
    bool done_ = false;
};
