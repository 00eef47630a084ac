#include "document/text.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace marquetor::document {

std::int64_t TextToNumber(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    // Unsigned arithmetic wraps around without undefined behaviour.
    std::uint64_t value = 0;
    if (i < n && text[i] == '$') {
        for (++i; i < n; ++i) {
            const char c = text[i];
            unsigned digit;
            if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
            else break;
            value = value * 16u + digit;
        }
    } else if (i < n && text[i] == '%') {
        for (++i; i < n && (text[i] == '0' || text[i] == '1'); ++i) value = value * 2u + static_cast<unsigned>(text[i] - '0');
    } else {
        for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10u + static_cast<unsigned>(text[i] - '0');
    }
    if (negative) value = 0u - value;
    return static_cast<std::int64_t>(value);
}

std::int32_t TextToInt32(std::string_view text) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(TextToNumber(text))));
}

std::string NumberToText(std::int64_t value) { return std::to_string(value); }

void AppendNumberText(std::string& out, std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, static_cast<std::size_t>(end - digits));
}

std::string ColorText(std::int32_t color) {
    std::string out = "R";
    out += std::to_string(ColorRed(color));
    out += " G";
    out += std::to_string(ColorGreen(color));
    out += " B";
    out += std::to_string(ColorBlue(color));
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        unsigned lo = 0x80, hi = 0xBF;   // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) extra = 1;
        else if (c == 0xE0) extra = 2, lo = 0xA0;
        else if (c == 0xED) extra = 2, hi = 0x9F;          // no surrogates
        else if (c >= 0xE1 && c <= 0xEF) extra = 2;
        else if (c == 0xF0) extra = 3, lo = 0x90;
        else if (c >= 0xF1 && c <= 0xF3) extra = 3;
        else if (c == 0xF4) extra = 3, hi = 0x8F;          // nothing above U+10FFFF
        else return false;
        if (end - p <= extra) return false;
        if (p[1] < lo || p[1] > hi) return false;
        for (int k = 2; k <= extra; ++k)
            if ((p[k] & 0xC0) != 0x80) return false;
        p += extra + 1;
    }
    return true;
}

namespace {

// Windows-1252 bytes 0x80..0x9F; the undefined ones map to the C1 control of the same value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

char32_t NextUtf8(const unsigned char*& p) {
    char32_t cp = *p;
    const int extra = cp < 0x80 ? 0 : cp < 0xE0 ? 1 : cp < 0xF0 ? 2 : 3;
    if (extra > 0) cp &= 0x3Fu >> extra;
    for (int k = 1; k <= extra; ++k) cp = cp << 6 | (p[k] & 0x3Fu);
    p += extra + 1;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
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

std::string BytesToUtf8(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) out += ch;
        else if (b < 0xA0) AppendUtf8(out, kCp1252High[b - 0x80]);
        else AppendUtf8(out, b);
    }
    return out;
}

std::optional<std::string> Utf8ToWindows1252(std::string_view utf8) {
    if (!IsValidUtf8(utf8)) return std::nullopt;
    std::string out;
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        const char32_t cp = NextUtf8(p);
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        // 0x80..0x9F: the table's characters, the undefined bytes as their C1 controls.
        const char16_t* hit = std::find(std::begin(kCp1252High), std::end(kCp1252High), cp);
        if (hit == std::end(kCp1252High)) return std::nullopt;
        out += static_cast<char>(0x80 + (hit - std::begin(kCp1252High)));
    }
    return out;
}

namespace {

void appendEscaped(std::string& out, std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char ch : utf8) {
        const auto b = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (b < 0x20) {
            out += "\\u00";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += ch;
        }
    }
    out += '"';
}

}  // namespace

void AppendQuotedText(std::string& out, std::string_view bytes) {
    if (IsValidUtf8(bytes)) appendEscaped(out, bytes);
    else appendEscaped(out, BytesToUtf8(bytes));
}

}  // namespace marquetor::document
