#include "editor/command.h"

#include "document/text.h"

namespace marquetor::editor {

std::string ShortName(std::string_view bytes, std::size_t maxCharacters) {
    const std::string text = document::BytesToUtf8(bytes);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Counts the first byte of each character.
        if ((static_cast<unsigned char>(text[i]) & 0xC0u) == 0x80u) continue;
        if (characters == maxCharacters) return text.substr(0, i) + "...";
        ++characters;
    }
    return text;
}

std::string CountName(std::size_t count, std::string_view one, std::string_view many) {
    std::string text = document::NumberToText(static_cast<std::int64_t>(count));
    text += ' ';
    text += count == 1 ? one : many;
    return text;
}

}  // namespace marquetor::editor
