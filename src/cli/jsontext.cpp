#include "cli/jsontext.h"

#include "document/text.h"

namespace marquetor::cli {

std::string EncodingKey(std::string_view key) {
    std::string out(key);
    out += "Encoding";
    return out;
}

void PutText(Json& record, const std::string& key, std::string_view bytes) {
    if (document::IsValidUtf8(bytes)) {
        record[key] = std::string(bytes);
        return;
    }
    record[key] = document::BytesToUtf8(bytes);
    record[EncodingKey(key)] = std::string(kWindows1252);
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

void AppendJsonString(std::string& out, std::string_view bytes) {
    if (document::IsValidUtf8(bytes)) appendEscaped(out, bytes);
    else appendEscaped(out, document::BytesToUtf8(bytes));
}

}  // namespace marquetor::cli
