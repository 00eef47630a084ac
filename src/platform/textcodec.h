#pragma once
// The document keeps text as bytes. On screen they are UTF-8 when they are valid UTF-8, and
// otherwise Windows-1252 (files written on such a system); typed text goes back as UTF-8.

#include <QString>

#include <string>
#include <string_view>

namespace marquetor::platform::textcodec {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. The same rule
// as the command-line tool's, so a text reads alike everywhere.
bool isValidUtf8(std::string_view bytes);

QString fromBytes(std::string_view bytes);
std::string toBytes(const QString& text);

// Bytes that were handed to a widget together with the text shown for them, so that a text
// the user did not edit reads back byte for byte.
class RememberedText {
public:
    // Returns the text to show for the bytes.
    const QString& set(std::string_view bytes);
    // The original bytes while `shown` is still the text shown for them, else its UTF-8.
    std::string bytesFor(const QString& shown) const;
    bool isShown(const QString& shown) const { return shown == m_shown; }
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
    QString m_shown;
};

}  // namespace marquetor::platform::textcodec
