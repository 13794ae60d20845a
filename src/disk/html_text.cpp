#include "disk/html_text.h"

#include <cstdint>
#include <system_error>

namespace quen::html {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at the start of `s`, 0 when there is none
// (stray continuation byte, overlong form, surrogate, beyond U+10FFFF, cut short).
size_t utf8_sequence_length(std::string_view s) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
    const uint8_t lead = byte(0);
    size_t length;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

bool is_unreserved(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

}  // namespace

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const char c = text.front();
        const size_t length = utf8_sequence_length(text);
        if (length == 0) {
            out += kReplacementCharacter;
            text.remove_prefix(1);
            continue;
        }
        if (length > 1) {
            out += text.substr(0, length);
            text.remove_prefix(length);
            continue;
        }
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            case '\t':
            case '\n': out += c; break;
            default:
                if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F) {
                    out += kReplacementCharacter;
                } else {
                    out += c;
                }
        }
        text.remove_prefix(1);
    }
    return out;
}

std::string url_path(const std::filesystem::path& relative) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : relative.generic_string()) {
        const auto c = static_cast<uint8_t>(ch);
        if (is_unreserved(c) || c == '/') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string relative_link(const std::filesystem::path& page_dir, const std::filesystem::path& target) {
    const auto resolved = [](const std::filesystem::path& p) {
        std::error_code ec;
        std::filesystem::path r = std::filesystem::weakly_canonical(std::filesystem::absolute(p, ec), ec);
        return ec ? std::filesystem::absolute(p, ec).lexically_normal() : r;
    };
    const std::filesystem::path from = resolved(page_dir);
    const std::filesystem::path to = resolved(target);
    const std::filesystem::path link = to.lexically_relative(from);
    if (link.empty()) return "file://" + url_path(to);
    return url_path(link);
}

}  // namespace quen::html
