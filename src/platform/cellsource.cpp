#include "platform/cellsource.h"

#include <QString>

#include <algorithm>
#include <charconv>

#include "platform/textcodec.h"

namespace marquetor::platform {

namespace {

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool isAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Whether `text` holds `lower` (ASCII, lower case) ignoring the case of ASCII letters. Bytes
// beyond ASCII (parts of UTF-8 or Windows-1252 characters) never equal an ASCII byte, so
// this is right for both readings of the text.
bool holdsAscii(std::string_view text, std::string_view lower) {
    const std::size_t n = lower.size();
    if (n == 0) return true;
    if (text.size() < n) return false;
    const char first = lower[0];
    const char firstUpper = asciiUpper(first);
    const std::size_t last = text.size() - n;
    for (std::size_t i = 0; i <= last; ++i) {
        const char c = text[i];
        if (c != first && c != firstUpper) continue;
        std::size_t j = 1;
        while (j < n && asciiLower(text[i + j]) == lower[j]) ++j;
        if (j == n) return true;
    }
    return false;
}

}  // namespace

TextMatcher::TextMatcher(std::string_view utf8, std::uint64_t serial) : m_text(utf8), m_serial(serial) {
    m_ascii = isAscii(utf8);
    if (m_ascii) {
        m_folded.resize(utf8.size());
        std::transform(utf8.begin(), utf8.end(), m_folded.begin(), asciiLower);
    } else {
        const QByteArray folded =
            QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toCaseFolded().toUtf8();
        m_folded.assign(folded.constData(), static_cast<std::size_t>(folded.size()));
    }
    m_number = !m_folded.empty() &&
               std::all_of(m_folded.begin(), m_folded.end(), [](char c) { return (c >= '0' && c <= '9') || c == '-'; });
}

bool TextMatcher::matches(std::string_view bytes) const {
    if (m_folded.empty()) return true;
    if (m_ascii) return holdsAscii(bytes, m_folded);
    // A filter beyond ASCII: the text as shown, case-folded the same way.
    const QByteArray folded = textcodec::fromBytes(bytes).toCaseFolded().toUtf8();
    return std::string_view(folded.constData(), static_cast<std::size_t>(folded.size())).find(m_folded) !=
           std::string_view::npos;
}

bool TextMatcher::matchesNumber(std::int64_t value) const {
    if (m_folded.empty()) return true;
    if (!m_number) return false;
    char text[24];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return std::string_view(text, static_cast<std::size_t>(written.ptr - text)).find(m_folded) != std::string_view::npos;
}

bool TextMatcher::narrows(const TextMatcher& wider) const { return wider.matches(m_text); }

}  // namespace marquetor::platform
