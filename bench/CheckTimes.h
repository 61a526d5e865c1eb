// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>

// When the supervision looked at its children: the first look after each start (the status
// check, due 3 s after the start on a precise timer) and the gaps between later looks more
// than half a second apart (the check-loop steps, about a second apart on Qt's coarse timers).
struct CheckTimes {
    using Clock = std::chrono::steady_clock;

    struct Spread {
        double min = 1e9, max = 0, sum = 0;
        long count = 0;
        void add(double s) {
            min = std::min(min, s);
            max = std::max(max, s);
            sum += s;
            ++count;
        }
    };
    // A spread with a window it should fall in, and how often it did not.
    struct WindowedSpread : Spread {
        double low, high;
        long outside = 0, beyondFiveMs = 0;
        WindowedSpread(double low, double high) : low(low), high(high) {}
        void add(double s) {
            Spread::add(s);
            if (s < low || s > high) ++outside;
            if (s < low - 0.005 || s > high + 0.005) ++beyondFiveMs;
        }
    };

    WindowedSpread firstCheck{3.0, 3.05};
    Spread step;

    void print(FILE* out) const {
        auto line = [&](const char* name, const Spread& s) {
            std::fprintf(out, "%s_count=%ld %s_min_ms=%.1f %s_mean_ms=%.1f %s_max_ms=%.1f\n", name,
                         s.count, name, s.count ? s.min * 1000 : 0, name,
                         s.count ? s.sum / s.count * 1000 : 0, name, s.max * 1000);
        };
        line("first_check", firstCheck);
        std::fprintf(out, "first_check_outside=%ld first_check_beyond_5ms=%ld\n",
                     firstCheck.outside, firstCheck.beyondFiveMs);
        line("step", step);
    }
};
