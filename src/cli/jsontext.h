#pragma once
// The document's texts in mrqt's JSON. A text is shown as UTF-8 when its bytes are valid
// UTF-8; otherwise they are read as Windows-1252 and a key beside the text, its own key
// followed by "Encoding", says so ("nameEncoding": "windows-1252"), so that build can restore
// the bytes. The two readings cannot be told apart from the text alone.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace marquetor::cli {

using Json = nlohmann::ordered_json;

inline constexpr std::string_view kWindows1252 = "windows-1252";
inline constexpr std::string_view kUtf8 = "utf-8";

// "name" -> "nameEncoding".
std::string EncodingKey(std::string_view key);

// record[key] = the text; record[key + "Encoding"] = "windows-1252" when the bytes are not
// valid UTF-8.
void PutText(Json& record, const std::string& key, std::string_view bytes);

// Output written without building JSON values (a million findings) quotes its texts with
// document::AppendQuotedText.

}  // namespace marquetor::cli
