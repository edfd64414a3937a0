#pragma once

#include <string>
#include <string_view>

// UTF-16 <-> UTF-8 for names and command lines. Unpaired surrogates and malformed
// bytes become U+FFFD; nothing is dropped silently.
namespace doc::utf
{

inline void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The simple uppercase of a UTF-16 unit for the scripts names are commonly written in (Latin,
// Greek, Cyrillic, full-width Latin), as compound-file names and property names compare.
inline char16_t toUpper(char16_t u)
{
    if ((u >= u'a' && u <= u'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7) ||
        (u >= 0x3B1 && u <= 0x3CB && u != 0x3C2) || (u >= 0x430 && u <= 0x44F) ||
        (u >= 0xFF41 && u <= 0xFF5A))
        return static_cast<char16_t>(u - 0x20);
    if (u == 0xFF)
        return 0x178;
    if (u == 0x3C2)
        return 0x3A3;
    if (u >= 0x450 && u <= 0x45F)
        return static_cast<char16_t>(u - 0x50);
    // Latin Extended-A pairs an upper and a lower letter, upper first, but for these stretches
    // where the pairs start one later.
    const bool oddPairs = (u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E);
    if (((u >= 0x100 && u <= 0x137 && u != 0x131) || (u >= 0x14A && u <= 0x177) || oddPairs) &&
        (u % 2 == 0) == oddPairs)
        return static_cast<char16_t>(u - 1);
    return u;
}

inline std::string toUtf8(std::u16string_view units)
{
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t u = units[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

inline std::u16string fromUtf8(std::string_view bytes)
{
    std::u16string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        char32_t cp = length == 1   ? lead
                      : length == 2 ? (lead & 0x1Fu)
                      : length == 3 ? (lead & 0x0Fu)
                                    : (lead & 0x07u);
        bool valid = length != 0 && i + length <= bytes.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3Fu);
        }
        if (!valid || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += length;
    }
    return out;
}

} // namespace doc::utf
