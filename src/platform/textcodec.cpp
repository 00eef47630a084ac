#include "platform/textcodec.h"

#include "document/text.h"

namespace marquetor::platform::textcodec {

bool isValidUtf8(std::string_view bytes) { return document::IsValidUtf8(bytes); }

QString fromBytes(std::string_view bytes) {
    if (isValidUtf8(bytes)) return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // Bytes written on a Windows-1252 system.
    const std::string utf8 = document::BytesToUtf8(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
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
