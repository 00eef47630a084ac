#include "tiled/texts.h"

#include "document/text.h"

namespace marquetor::tiled {

namespace {

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

}  // namespace

EncodedText EncodeText(std::string_view bytes) {
    bool control = false;
    for (const char c : bytes) control = control || isControl(static_cast<unsigned char>(c));
    if (!control) {
        if (document::IsValidUtf8(bytes)) return {std::string(bytes), {}};
        return {document::BytesToUtf8(bytes), std::string(kWindows1252)};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    EncodedText e{{}, std::string(kEscaped)};
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (isControl(c) || c >= 0x80 || c == '\\') {
            e.value += "\\x";
            e.value += kHex[c >> 4];
            e.value += kHex[c & 15];
        } else {
            e.value += ch;
        }
    }
    return e;
}

std::optional<std::string> DecodeText(std::string_view value, std::string_view encoding) {
    if (encoding.empty() || encoding == "utf-8") return std::string(value);
    if (encoding == kWindows1252) return document::Utf8ToWindows1252(value);
    if (encoding != kEscaped) return std::nullopt;
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out += value[i];
            continue;
        }
        if (i + 3 >= value.size() || value[i + 1] != 'x') return std::nullopt;
        const int high = hex(value[i + 2]), low = hex(value[i + 3]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 3;
    }
    return out;
}

std::string FileNameOf(std::string_view bytes) {
    std::string name = document::BytesToUtf8(bytes);
    for (char& c : name)
        if (isControl(static_cast<unsigned char>(c))) c = '_';
    return name;
}

}  // namespace marquetor::tiled
