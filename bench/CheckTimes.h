#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>

// When the supervision looked at its children: the first look after each start (the status
// check, due 3 s after the start) and the gaps between later looks more than half a second
// apart (the check-loop steps, due 1 s after the previous one).
struct CheckTimes {
    using Clock = std::chrono::steady_clock;

    struct Spread {
        double min = 1e9, max = 0, sum = 0;
        long count = 0, outside = 0, beyondFiveMs = 0;
        void add(double s, double low, double high) {
            min = std::min(min, s);
            max = std::max(max, s);
            sum += s;
            ++count;
            if (s < low || s > high) ++outside;
            if (s < low - 0.005 || s > high + 0.005) ++beyondFiveMs;
        }
    };

    Spread firstCheck, step;

    void print(FILE* out) const {
        auto line = [&](const char* name, const Spread& s) {
            std::fprintf(out,
                         "%s_count=%ld %s_min_ms=%.1f %s_mean_ms=%.1f %s_max_ms=%.1f "
                         "%s_outside=%ld %s_beyond_5ms=%ld\n",
                         name, s.count, name, s.count ? s.min * 1000 : 0, name,
                         s.count ? s.sum / s.count * 1000 : 0, name, s.max * 1000, name, s.outside,
                         name, s.beyondFiveMs);
        };
        line("first_check", firstCheck);
        line("step", step);
    }
};
