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

}  // namespace marquetor::cli
