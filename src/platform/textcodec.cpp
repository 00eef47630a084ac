#include "platform/textcodec.h"

#include <array>
#include <cstdint>

namespace marquetor::platform::textcodec {

namespace {

// Windows-1252 at 0x80-0x9F; the five unassigned bytes keep their Latin-1 code points so
// that nothing is lost on the way to the screen.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto b0 = static_cast<std::uint8_t>(bytes[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        std::uint32_t cp = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2;
            cp = b0 & 0x1Fu;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3;
            cp = b0 & 0x0Fu;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4;
            cp = b0 & 0x07u;
        } else {
            return false;   // continuation byte, overlong lead (C0, C1) or F5..FF
        }
        if (n - i < static_cast<std::size_t>(length)) return false;
        for (int k = 1; k < length; ++k) {
            const auto b = static_cast<std::uint8_t>(bytes[i + static_cast<std::size_t>(k)]);
            if ((b & 0xC0u) != 0x80u) return false;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        if (length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) return false;
        if (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) return false;
        i += static_cast<std::size_t>(length);
    }
    return true;
}

QString fromBytes(std::string_view bytes) {
    if (isValidUtf8(bytes)) return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        text.append(QChar(b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : char16_t{b}));
    }
    return text;
}

std::string toBytes(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

const QString& RememberedText::set(std::string_view bytes) {
    m_bytes.assign(bytes);
    m_shown = fromBytes(bytes);
    return m_shown;
}

std::string RememberedText::bytesFor(const QString& shown) const {
    if (shown == m_shown) return m_bytes;
    return toBytes(shown);
}

}  // namespace marquetor::platform::textcodec
