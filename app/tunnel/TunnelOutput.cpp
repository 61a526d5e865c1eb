// SPDX-License-Identifier: GPL-3.0-or-later
#include "tunnel/TunnelOutput.h"

#include <algorithm>

std::vector<std::string> TunnelOutput::append(std::string_view bytes, Time when) {
    std::vector<std::string> out;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        if (!cut_) take(bytes.substr(0, end));
        if (end == std::string_view::npos) break;
        complete(when, out);
        bytes.remove_prefix(end + 1);
    }
    return out;
}

std::vector<std::string> TunnelOutput::finish(Time when) {
    std::vector<std::string> out;
    if (!partial_.empty() || !pending_.empty() || cut_) complete(when, out);
    return out;
}

// Masks left to right, as one replacement over the whole line would: every copy of the secret
// is found before anything is counted against the length limit. Only the last
// secret-length-minus-one bytes wait, as they may be the start of a copy.
void TunnelOutput::take(std::string_view raw) {
    if (secret_.empty()) return keep(raw);
    pending_.append(raw);
    std::size_t from = 0;
    for (std::size_t at; !cut_ && (at = pending_.find(secret_, from)) != std::string::npos;
         from = at + secret_.size()) {
        keep(std::string_view(pending_).substr(from, at - from));
        keep(kMask);
    }
    const std::size_t waiting = std::min(pending_.size() - from, secret_.size() - 1);
    if (!cut_) keep(std::string_view(pending_).substr(from, pending_.size() - from - waiting));
    if (cut_)
        pending_.clear();
    else
        pending_.erase(0, pending_.size() - waiting);
}

void TunnelOutput::keep(std::string_view masked) {
    if (cut_) return;
    partial_.append(
        masked.substr(0, kMaxLineLength + 1 - std::min(kMaxLineLength + 1, partial_.size())));
    if (partial_.size() > kMaxLineLength) {
        partial_.resize(kMaxLineLength);
        cut_ = true;
    }
}

void TunnelOutput::complete(Time when, std::vector<std::string>& out) {
    // What waits cannot be a copy of the secret any more: the line has ended.
    keep(pending_);
    pending_.clear();
    std::string text = shown(std::move(partial_), cut_);
    partial_.clear();
    cut_ = false;
    retained_ += text.size();
    lines_.push_back({when, text});
    ++total_;
    while (lines_.size() > kMaxLines) {
        retained_ -= lines_.front().text.size();
        lines_.pop_front();
    }
    out.push_back(std::move(text));
}

// Control characters (a terminal's escapes, a lone CR) are shown as "?"; a CR before the LF
// of a CR LF line end is dropped.
std::string TunnelOutput::shown(std::string text, bool cut) const {
    if (!cut && !text.empty() && text.back() == '\r') text.pop_back();
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7F) c = '?';
    }
    if (cut) text += kCutMarker;
    return text;
}

std::vector<TunnelOutput::Line> TunnelOutput::linesSince(std::size_t mark, std::size_t most) const {
    const std::size_t fresh = total_ > mark ? std::min(total_ - mark, lines_.size()) : 0;
    const std::size_t count = std::min(fresh, most);
    return {lines_.end() - static_cast<long>(count), lines_.end()};
}
