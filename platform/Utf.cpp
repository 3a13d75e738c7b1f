#include "platform/Utf.h"

#include <cstddef>
#include <cstdint>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point starting at `pos`. On success returns true, sets `cp` and `length`.
// On an ill-formed sequence returns false and sets `length` to the maximal valid prefix (at least
// one byte), so a lenient decoder emits one U+FFFD per broken sequence. The second-byte ranges
// below are the table of well-formed UTF-8 byte sequences; they exclude overlong forms, UTF-16
// surrogates (U+D800..U+DFFF) and everything above U+10FFFF.
bool decodeUtf8(const std::string& s, std::size_t pos, char32_t& cp, std::size_t& length) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        cp = b0;
        length = 1;
        return true;
    }
    std::size_t need = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
    } else if (b0 == 0xE0) {
        need = 2, lo = 0xA0;
    } else if ((b0 >= 0xE1 && b0 <= 0xEC) || b0 == 0xEE || b0 == 0xEF) {
        need = 2;
    } else if (b0 == 0xED) {
        need = 2, hi = 0x9F;
    } else if (b0 == 0xF0) {
        need = 3, lo = 0x90;
    } else if (b0 >= 0xF1 && b0 <= 0xF3) {
        need = 3;
    } else if (b0 == 0xF4) {
        need = 3, hi = 0x8F;
    } else {
        length = 1;  // stray continuation byte or a lead byte that never occurs (C0, C1, F5..FF)
        return false;
    }
    char32_t value = b0 & (0x3F >> need);
    for (std::size_t k = 1; k <= need; ++k) {
        if (pos + k >= s.size()) {
            length = k;
            return false;
        }
        const auto b = static_cast<unsigned char>(s[pos + k]);
        const unsigned char min = k == 1 ? lo : 0x80;
        const unsigned char max = k == 1 ? hi : 0xBF;
        if (b < min || b > max) {
            length = k;
            return false;
        }
        value = (value << 6) | (b & 0x3F);
    }
    cp = value;
    length = need + 1;
    return true;
}

void appendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes one code point of UTF-16 at `pos`; returns false for an unpaired surrogate (length 1).
bool decodeUtf16(const std::u16string& s, std::size_t pos, char32_t& cp, std::size_t& length) {
    const char16_t u = s[pos];
    length = 1;
    if (u < 0xD800 || u > 0xDFFF) {
        cp = u;
        return true;
    }
    if (u <= 0xDBFF && pos + 1 < s.size()) {
        const char16_t low = s[pos + 1];
        if (low >= 0xDC00 && low <= 0xDFFF) {
            cp = 0x10000 + ((static_cast<char32_t>(u - 0xD800) << 10) | (low - 0xDC00));
            length = 2;
            return true;
        }
    }
    return false;
}

}  // namespace

std::u16string toUtf16(const std::string& utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t cp = 0;
        std::size_t length = 0;
        appendUtf16(out, decodeUtf8(utf8, pos, cp, length) ? cp : kReplacement);
        pos += length;
    }
    return out;
}

std::string toUtf8(const std::u16string& utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t pos = 0; pos < utf16.size();) {
        char32_t cp = 0;
        std::size_t length = 0;
        appendUtf8(out, decodeUtf16(utf16, pos, cp, length) ? cp : kReplacement);
        pos += length;
    }
    return out;
}

bool tryToUtf16(const std::string& utf8, std::u16string& out) {
    std::u16string result;
    result.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t cp = 0;
        std::size_t length = 0;
        if (!decodeUtf8(utf8, pos, cp, length)) return false;
        appendUtf16(result, cp);
        pos += length;
    }
    out = std::move(result);
    return true;
}

bool tryToUtf8(const std::u16string& utf16, std::string& out) {
    std::string result;
    result.reserve(utf16.size());
    for (std::size_t pos = 0; pos < utf16.size();) {
        char32_t cp = 0;
        std::size_t length = 0;
        if (!decodeUtf16(utf16, pos, cp, length)) return false;
        appendUtf8(result, cp);
        pos += length;
    }
    out = std::move(result);
    return true;
}

}  // namespace platform
