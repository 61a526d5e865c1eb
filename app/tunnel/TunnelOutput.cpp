#include "tunnel/TunnelOutput.h"

#include "platform/Text.h"

#include <algorithm>

std::vector<std::string> TunnelOutput::append(std::string_view bytes, Time when) {
    std::vector<std::string> out;
    // Room for a secret that straddles the cut, so it can still be recognised and masked.
    const std::size_t room = kMaxLineLength + secret_.size();
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (!cut_) {
            const std::size_t space = room - std::min(room, partial_.size());
            partial_.append(piece.substr(0, space));
            cut_ = piece.size() > space;
        }
        if (end == std::string_view::npos) break;
        complete(when, out);
        bytes.remove_prefix(end + 1);
    }
    return out;
}

std::vector<std::string> TunnelOutput::finish(Time when) {
    std::vector<std::string> out;
    if (!partial_.empty() || cut_) complete(when, out);
    return out;
}

void TunnelOutput::complete(Time when, std::vector<std::string>& out) {
    std::string text = masked(std::move(partial_), cut_);
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
std::string TunnelOutput::masked(std::string text, bool cut) const {
    if (!cut && !text.empty() && text.back() == '\r') text.pop_back();
    if (!secret_.empty()) text = text::replaceAll(text, secret_, kMask);
    if (cut && text.size() > kMaxLineLength) {
        text.resize(kMaxLineLength);
        // The cut may leave the start of the secret at the end of what is kept.
        const std::size_t longest = secret_.empty() ? 0 : std::min(secret_.size() - 1, text.size());
        for (std::size_t n = longest; n > 0; --n) {
            if (text.compare(text.size() - n, n, secret_, 0, n) == 0) {
                text.replace(text.size() - n, n, kMask);
                break;
            }
        }
    }
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
