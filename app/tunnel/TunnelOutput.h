// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// What one tunnel's children wrote, as lines with the time each was completed: the last
// kMaxLines of them, each at most kMaxLineLength characters (a longer line is cut and the rest
// of it, up to its end, dropped), so a child that writes without end costs bounded memory.
// The secret (the service's password) is replaced by "********" wherever it appears: the line
// is masked as it comes, whole, and only the masked text is cut.
class TunnelOutput {
public:
    using Time = std::chrono::system_clock::time_point;
    struct Line {
        Time time;
        std::string text;
    };

    static constexpr std::size_t kMaxLines = 500;
    static constexpr std::size_t kMaxLineLength = 1024;
    static constexpr const char* kMask = "********";
    static constexpr const char* kCutMarker = " [...]";

    void setSecret(const std::string& secret) { secret_ = secret; }

    // Takes the next bytes of output; returns the lines they completed, as kept.
    std::vector<std::string> append(std::string_view bytes, Time when);
    // End of the output: an unfinished last line counts as complete.
    std::vector<std::string> finish(Time when);

    const std::deque<Line>& lines() const { return lines_; }
    // Lines completed so far, dropped ones included: a mark for linesSince().
    std::size_t totalLines() const { return total_; }
    // The kept lines completed after `mark`, at most the last `most` of them.
    std::vector<Line> linesSince(std::size_t mark, std::size_t most) const;
    // Bytes held: the kept lines and the unfinished one.
    std::size_t retainedBytes() const { return retained_ + partial_.size() + pending_.size(); }

private:
    // Masks the next raw bytes of the unfinished line into partial_.
    void take(std::string_view raw);
    // Adds masked text to the unfinished line; cuts it once it is too long.
    void keep(std::string_view masked);
    void complete(Time when, std::vector<std::string>& out);
    std::string shown(std::string text, bool cut) const;

    std::string secret_;
    std::deque<Line> lines_;
    std::string partial_; // the unfinished line, masked
    // Raw bytes at the end of the unfinished line that may begin a copy of the secret.
    std::string pending_;
    bool cut_ = false; // the unfinished line was cut: drop bytes until its end
    std::size_t total_ = 0;
    std::size_t retained_ = 0;
};
