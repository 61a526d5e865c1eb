// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <functional>
#include <utility>

// The widget behind a toolkit adapter: given at once, or built the first time the adapter
// needs it (a window that is built on first use). Whatever the adapter is asked then goes
// to the new widget, so a value set "before" the window exists is in it, and read back from
// it. Built at most once: a widget that has gone (the windows' end) stays gone.
template <class W> class LazyWidget {
public:
    // `prepare` runs once on the widget, as soon as there is one.
    LazyWidget(W* widget, std::function<void(W*)> prepare = {})
        : widget_(widget), prepare_(std::move(prepare)) {
        runPrepare();
    }
    LazyWidget(std::function<W*()> build, std::function<void(W*)> prepare = {})
        : build_(std::move(build)), prepare_(std::move(prepare)) {}

    // The widget, built now if need be; null once it has gone.
    W* get() const {
        if (build_) {
            const auto build = std::exchange(build_, nullptr);
            widget_ = build();
            runPrepare();
        }
        return widget_;
    }

    // The widget if it has been built and still exists; never builds it.
    W* ifBuilt() const { return widget_; }

private:
    void runPrepare() const {
        if (widget_ && prepare_) std::exchange(prepare_, nullptr)(widget_);
    }

    mutable QPointer<W> widget_;
    mutable std::function<W*()> build_;
    mutable std::function<void(W*)> prepare_;
};
