#include "cli/build.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <deque>
#include <forward_list>
#include <span>
#include <thread>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/digest.h"
#include "cli/jsontext.h"
#include "document/text.h"
#include "fileio/readfile.h"

namespace marquetor::cli {

namespace {

namespace fs = std::filesystem;
// Reading needs no key order; the plain object type parses faster.
using Value = nlohmann::json;

// The keys each kind of record may have: what dump writes.
constexpr std::string_view kTileSetKeys[] = {"tileWidth", "tileHeight", "materials", "textures", "tiles"};
constexpr std::string_view kMaterialKeys[] = {"name",  "nameEncoding", "color",       "red",
                                              "green", "blue",         "description", "descriptionEncoding"};
constexpr std::string_view kTextureKeys[] = {"name", "nameEncoding", "size", "sha256"};
// "name" -> "nameEncoding" without building a text per record.
std::string_view encodingKeyOf(std::string_view key) {
    if (key == "name") return "nameEncoding";
    if (key == "description") return "descriptionEncoding";
    if (key == "texture") return "textureEncoding";
    if (key == "material") return "materialEncoding";
    return {};
}

constexpr std::string_view kTileKeys[] = {"id",       "texture",          "textureEncoding", "material",
                                          "materialEncoding", "layer", "collision"};

// Thrown inside this file only, caught by BuildTileSet: the message names the record.
struct Refused {
    std::string message;
};

std::string quotedText(std::string_view bytes) {
    std::string out;
    document::AppendQuotedText(out, bytes);
    return out;
}

// Line and column (both from 1) of the byte at a 1-based position: what the parser names
// when it stops.
std::string lineAndColumn(std::string_view text, std::size_t position) {
    const std::size_t end = std::min(position > 0 ? position - 1 : 0, text.size());
    std::size_t line = 1, lineStart = 0;
    for (std::size_t i = 0; i < end; ++i)
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    return "line " + std::to_string(line) + ", column " + std::to_string(end - lineStart + 1);
}

// The parser's own words without its prefix: "[json.exception.parse_error.101] parse error
// at line 2, column 3: syntax error ..." -> "syntax error ...".
std::string parserReason(const char* what) {
    const std::string_view text(what);
    const std::size_t bracket = text.find("] ");
    std::string_view rest = bracket == std::string_view::npos ? text : text.substr(bracket + 2);
    const std::size_t colon = rest.find(": ");
    if (colon != std::string_view::npos) rest = rest.substr(colon + 2);
    return document::BytesToUtf8(rest);   // "last read" may quote bytes that are not UTF-8
}

// The fields of one JSON object, in the order given; a key given twice keeps its last value.
// A record holds a handful, so a look-up is a scan; the builder reuses one for every record,
// keys and slots included, so a hundred thousand records cost no allocation each.
class Fields {
public:
    // A JSON value of another kind where an object was expected.
    static Fields notAnObject() {
        Fields f;
        f.m_object = false;
        return f;
    }
    // The fields of a parsed object (whose keys are unique already).
    static Fields of(const Value& object) {
        Fields f;
        f.m_slots.reserve(object.size());
        for (const auto& [key, item] : object.items()) f.m_slots.emplace_back(key, item);
        f.m_used = f.m_slots.size();
        return f;
    }

    bool isObject() const { return m_object; }
    std::size_t size() const { return m_used; }
    const std::string& key(std::size_t i) const { return m_slots[i].first; }
    const Value* find(std::string_view key) const {
        for (std::size_t i = 0; i < m_used; ++i)
            if (m_slots[i].first == key) return &m_slots[i].second;
        return nullptr;
    }
    // The value of a key, made null when the key is new. Stays where it is until the next call.
    Value& slot(std::string_view key) {
        for (std::size_t i = 0; i < m_used; ++i)
            if (m_slots[i].first == key) return m_slots[i].second;
        if (m_used == m_slots.size()) m_slots.emplace_back();
        auto& [k, v] = m_slots[m_used++];
        k.assign(key);
        v = nullptr;
        return v;
    }
    void clear() { m_used = 0; }

private:
    std::vector<std::pair<std::string, Value>> m_slots;   // the first m_used are in use
    std::size_t m_used = 0;
    bool m_object = true;
};

// One record of the JSON: its fields, read with the record named in every refusal. The name
// is only put together for a refusal: a hundred thousand records pass through here.
class Record {
public:
    Record(const Fields& fields, const char* list, std::size_t index, std::span<const std::string_view> keys)
        : m_fields(fields), m_list(list), m_index(index), m_keys(keys) {
        if (!fields.isObject()) refuse("is not a JSON object");
    }

    // Names the record by what identifies it, once that is read (`material "Stone"`, with a
    // name that outlives the record), and refuses keys that no record of its kind has (a
    // misspelt key would otherwise go unnoticed).
    void identify(const char* kind, std::string_view name) {
        m_kind = kind;
        m_name = name;
        checkKeys();
    }
    void identify(std::int32_t tileId) {
        m_kind = "tile";
        m_id = tileId;
        checkKeys();
    }
    void checkKeys() const {
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            const std::string& key = m_fields.key(i);
            bool known = false;
            for (const std::string_view k : m_keys) known = known || key == k;
            if (!known) refuse("has a key \"" + key + "\" that no record of its kind has");
        }
    }
    std::string label() const {
        const std::string at = m_list ? std::string(m_list) + "[" + std::to_string(m_index) + "]" : "the tile set";
        if (!m_kind) return at;
        if (m_id) return std::string(m_kind) + " " + std::to_string(*m_id) + " (" + at + ")";
        return std::string(m_kind) + " " + quotedText(m_name);
    }

    [[noreturn]] void refuse(const std::string& why) const { throw Refused{label() + ": " + why}; }

    bool has(const char* key) const { return m_fields.find(key) != nullptr; }

    // A whole number from lo to hi; `field` words the range in the refusal.
    std::int64_t number(const char* key, std::int64_t lo, std::int64_t hi, const char* field) const {
        const Value* it = m_fields.find(key);
        if (!it) refuse("has no \"" + std::string(key) + "\"");
        if (!it->is_number_integer()) refuse("\"" + std::string(key) + "\" is not a whole number");
        std::optional<std::int64_t> v;
        if (!it->is_number_unsigned()) v = it->get<std::int64_t>();
        else if (it->get<std::uint64_t>() <= static_cast<std::uint64_t>(INT64_MAX))
            v = static_cast<std::int64_t>(it->get<std::uint64_t>());
        if (!v || *v < lo || *v > hi)
            refuse("\"" + std::string(key) + "\" " + it->dump() + " does not fit " + field + " (" + std::to_string(lo) +
                   " to " + std::to_string(hi) + ")");
        return *v;
    }
    std::int32_t int32(const char* key) const {
        return static_cast<std::int32_t>(number(key, INT32_MIN, INT32_MAX, "the file's 32-bit field"));
    }
    std::int16_t int16(const char* key) const {
        return static_cast<std::int16_t>(number(key, INT16_MIN, INT16_MAX, "the file's 16-bit field"));
    }

    // A text as the document's bytes: UTF-8 as given, or back to Windows-1252 where the key
    // beside it says the bytes were read that way. Texts are lines of the file: no line end
    // and no zero byte. The view lasts as long as the record.
    std::string_view text(const char* key) const {
        const Value* it = m_fields.find(key);
        if (!it) refuse("has no \"" + std::string(key) + "\"");
        if (!it->is_string()) refuse("\"" + std::string(key) + "\" is not a text");
        std::string_view bytes = it->get_ref<const std::string&>();
        const std::string_view encodingKey = encodingKeyOf(key);
        if (const Value* enc = m_fields.find(encodingKey)) {
            if (!enc->is_string() || (*enc != kWindows1252 && *enc != kUtf8))
                refuse("\"" + std::string(encodingKey) + "\" must be \"windows-1252\" or \"utf-8\"");
            if (*enc == kWindows1252) {
                std::optional<std::string> restored = document::Utf8ToWindows1252(bytes);
                if (!restored) refuse("\"" + std::string(key) + "\" holds a character that Windows-1252 lacks");
                bytes = m_restored.emplace_front(std::move(*restored));
            }
        }
        if (bytes.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
            refuse("\"" + std::string(key) + "\" holds a line break or a zero byte, which the file cannot keep");
        return bytes;
    }

    const Value* list(const char* key) const {
        const Value* it = m_fields.find(key);
        if (!it) return nullptr;
        if (!it->is_array()) refuse("\"" + std::string(key) + "\" is not a list");
        if (it->size() > static_cast<std::size_t>(INT32_MAX))
            refuse("\"" + std::string(key) + "\" holds more records than the file's count can say");
        return it;
    }

    // A key that has() found.
    const Value& at(const char* key) const { return *m_fields.find(key); }
    std::int32_t id() const { return m_id.value_or(0); }

private:
    const Fields& m_fields;
    const char* m_list;   // null for the tile set itself
    std::size_t m_index;
    std::span<const std::string_view> m_keys;   // static arrays
    const char* m_kind = nullptr;
    std::string_view m_name;
    std::optional<std::int32_t> m_id;
    mutable std::forward_list<std::string> m_restored;   // texts given back their Windows-1252 bytes
};

struct FileBytes {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::int32_t size = 0;
};

// A texture file whole: only a regular file (a FIFO or a device is refused at once, never
// waited on), of at most the 2 GiB the file's 32-bit size holds.
FileBytes readTexture(const fs::path& path, const Record& record) {
    FileBytes out;
    const fileio::ReadResult read = fileio::ReadWholeFile(path, INT32_MAX, [&](std::size_t size) {
        out.bytes.reset(new (std::nothrow) std::uint8_t[size]);
        out.size = static_cast<std::int32_t>(size);
        return out.bytes.get();
    });
    if (!read.ok) record.refuse(document::BytesToUtf8(path.string()) + " cannot be read: " + read.error);
    return out;
}

bool sameHex(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = static_cast<char>(a[i] >= 'A' && a[i] <= 'F' ? a[i] - 'A' + 'a' : a[i]);
        if (x != b[i]) return false;
    }
    return true;
}

bool isDigest(std::string_view text) {
    if (text.size() != 64) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

// What the records of one build share: the set they go into and what was seen so far.
struct Building {
    Building(document::TileSet& s, const fs::path& d, const BuildOptions& o) : set(s), dir(d), options(o) {}

    document::TileSet& set;
    const fs::path& dir;
    const BuildOptions& options;
    document::TileGroup* group = nullptr;
    std::unordered_map<std::string, std::size_t> materialNames;
    std::unordered_map<std::string, std::size_t> textureNames;
    // The tiles' names, one text each however many tiles name it, as a load keeps them.
    document::TextSharer tileNames;
};

void buildMaterial(const Fields& value, std::size_t i, Building& b) {
    Record r(value, "materials", i, kMaterialKeys);
    std::string name(r.text("name"));
    r.identify("material", name);
    if (const auto [it, fresh] = b.materialNames.emplace(name, i); !fresh)
        r.refuse("the name is taken by materials[" + std::to_string(it->second) + "]");

    const bool anyChannel = r.has("red") || r.has("green") || r.has("blue");
    const bool allChannels = r.has("red") && r.has("green") && r.has("blue");
    if (anyChannel && !allChannels) r.refuse("has only some of \"red\", \"green\" and \"blue\"");
    if (!r.has("color") && !allChannels) r.refuse("has neither \"color\" nor \"red\", \"green\" and \"blue\"");
    std::int32_t color = 0;
    if (allChannels) {
        const std::int64_t red = r.number("red", 0, 255, "a colour channel");
        const std::int64_t green = r.number("green", 0, 255, "a colour channel");
        const std::int64_t blue = r.number("blue", 0, 255, "a colour channel");
        color = document::MakeColor(red, green, blue);
        if (r.has("color")) {
            const std::int32_t given = r.int32("color");
            if (document::ColorRed(given) != red || document::ColorGreen(given) != green ||
                document::ColorBlue(given) != blue)
                r.refuse("\"color\" " + std::to_string(given) + " is not red " + std::to_string(red) + ", green " +
                         std::to_string(green) + ", blue " + std::to_string(blue) + " (change both, or leave one out)");
            color = given;   // it may hold bits above blue
        }
    } else {
        color = r.int32("color");
    }

    const std::string_view description = r.has("description") ? r.text("description") : std::string_view();
    if (description.size() > document::kDescriptionSize)
        r.refuse("the description has " + std::to_string(description.size()) + " bytes; the file keeps at most " +
                 std::to_string(document::kDescriptionSize));
    document::AddMaterial(b.set, name, color, description);
}

// Checks the textures' digests on a second thread while the next files are read and the
// rest is built: hashing costs about as much as reading the bytes, and the two overlap. The
// refusal is the one a check in list order would give first.
class DigestChecker {
public:
    DigestChecker() : m_thread([this] { work(); }) {}
    DigestChecker(const DigestChecker&) = delete;
    DigestChecker& operator=(const DigestChecker&) = delete;
    ~DigestChecker() { finish(); }

    // The bytes must stay where they are until finish().
    void add(std::size_t index, std::span<const std::uint8_t> bytes, std::string expected, std::string refusalStart) {
        {
            const std::lock_guard lock(m_mutex);
            m_jobs.push_back(Job{index, bytes, std::move(expected), std::move(refusalStart)});
        }
        m_wake.notify_one();
    }

    // Waits for every digest; the refusal of the first texture (in list order) whose bytes do
    // not match, if any.
    std::optional<std::pair<std::size_t, std::string>> finish() {
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_wake.notify_one();
        if (m_thread.joinable()) m_thread.join();
        return m_mismatch;
    }

private:
    struct Job {
        std::size_t index;
        std::span<const std::uint8_t> bytes;
        std::string expected;
        std::string refusalStart;
    };

    void work() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_closed || !m_jobs.empty(); });
                if (m_jobs.empty()) return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            const std::string actual = Sha256Hex(job.bytes);
            if (!sameHex(job.expected, actual) && (!m_mismatch || job.index < m_mismatch->first))
                m_mismatch.emplace(job.index, job.refusalStart + " is " + actual + ", the JSON says " + job.expected +
                                                  " (--ignore-sha256 takes the file as it is)");
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_closed = false;
    std::optional<std::pair<std::size_t, std::string>> m_mismatch;   // written by the thread until it ends
    std::thread m_thread;
};

// Textures are entered in the order listed, as a load enters a file's textures: within a
// bucket a load leaves the file's order reversed (most recent first), and entering that order
// again reverses it back, so the saved file lists them as the dumped one did.
void buildTexture(const Fields& value, std::size_t i, Building& b, DigestChecker& digests) {
    Record r(value, "textures", i, kTextureKeys);
    std::string name(r.text("name"));
    r.identify("texture", name);
    if (const auto [it, fresh] = b.textureNames.emplace(name, i); !fresh)
        r.refuse("the name is taken by textures[" + std::to_string(it->second) + "]");
    if (!IsPlainFileName(name)) r.refuse("the name is not a plain file name, so there is no file to read it from");
    std::optional<std::int64_t> size;
    if (r.has("size")) size = r.number("size", 0, INT32_MAX, "the file's 32-bit size");
    std::string digest;
    if (r.has("sha256")) {
        if (!r.at("sha256").is_string() || !isDigest(r.at("sha256").get<std::string>()))
            r.refuse("\"sha256\" is not 64 hexadecimal digits");
        digest = r.at("sha256").get<std::string>();
    }

    FileBytes file = readTexture(b.dir / name, r);
    const std::span<const std::uint8_t> bytes(file.bytes.get(), static_cast<std::size_t>(file.size));
    if (!b.options.ignoreSha256) {
        const std::string shown = document::BytesToUtf8((b.dir / name).string());
        if (size && *size != file.size)
            r.refuse(shown + " has " + std::to_string(file.size) + " bytes, the JSON says " + std::to_string(*size) +
                     " (--ignore-sha256 takes the file as it is)");
        // The names are unique, so these bytes stay in the set until the end.
        if (!digest.empty()) digests.add(i, bytes, digest, r.label() + ": the SHA-256 of " + shown);
    }
    document::PutTexture(b.set, std::move(name), std::move(file.bytes), file.size);
}

void buildTile(const Fields& value, std::size_t i, Building& b) {
    Record r(value, "tiles", i, kTileKeys);
    r.identify(r.int32("id"));
    const std::string_view texture = r.text("texture");
    const std::string_view material = r.text("material");
    const std::int16_t layer = r.has("layer") ? r.int16("layer") : std::int16_t{0};
    const std::int16_t collision = r.has("collision") ? r.int16("collision") : std::int16_t{0};
    if (!document::AddTile(*b.group, r.id(), b.tileNames.share(texture), b.tileNames.share(material), layer, collision))
        r.refuse("the ID is taken by an earlier tile");
}

// Reads the JSON as it is parsed: each record of the three lists is read into one reused set
// of fields and built at once, so a million tiles never sit in memory as JSON values and
// cost no JSON object each. Everything else at the top (the tile size, a misplaced list) is
// kept for the end.
class StreamingBuilder {
public:
    using Number = Value::number_integer_t;
    using Unsigned = Value::number_unsigned_t;
    using Float = Value::number_float_t;
    using String = Value::string_t;
    using Binary = Value::binary_t;

    StreamingBuilder(Building& building, DigestChecker& digests) : m_b(building), m_digests(digests) {}

    bool null() { return put(Value(nullptr)); }
    bool boolean(bool v) { return put(Value(v)); }
    bool number_integer(Number v) { return put(Value(v)); }
    bool number_unsigned(Unsigned v) { return put(Value(v)); }
    bool number_float(Float v, const String&) { return put(Value(v)); }
    bool string(String& v) { return put(Value(std::move(v))); }
    bool binary(Binary& v) { return put(Value::binary(std::move(v))); }

    bool start_object(std::size_t) {
        if (m_depth++ == 0) {
            m_topIsObject = true;
            return true;
        }
        if (m_depth == 3 && !m_list.empty() && !m_inRecord) {   // a record of a list
            m_inRecord = true;
            m_fields.clear();
            return true;
        }
        return open(Value::object());
    }
    bool start_array(std::size_t) {
        if (m_depth++ == 0) return true;   // not an object: refused at the end
        if (m_depth == 2 && m_stack.empty() && isList(m_key)) {
            m_list = m_key;
            m_index = 0;
            return true;
        }
        return open(Value::array());
    }
    bool end_object() {
        if (m_inRecord && m_stack.empty()) {
            m_inRecord = false;
            --m_depth;
            return built(m_fields);
        }
        return close();
    }
    bool end_array() {
        if (m_depth == 2 && m_stack.empty() && !m_list.empty()) {
            --m_depth;
            m_list.clear();
            return true;
        }
        return close();
    }
    bool key(String& k) {
        if (m_depth == 1) {
            if (!m_topKeys.insert(k).second) throw Refused{"the tile set: has \"" + k + "\" twice"};
            m_key = k;
        } else if (!m_stack.empty() && m_stack.back()->is_object()) {
            m_keys.push_back(k);
        } else if (m_inRecord && m_stack.empty()) {
            // A record's keys are looked up by a scan, so a record holding thousands of keys
            // must not keep them all: past kMaxFields, only keys its kind has are kept. The
            // first kMaxFields hold most of the unknown keys, so the refusal names the same
            // first unknown key either way.
            const bool keep = m_fields.size() < kMaxFields || isKeyOf(m_list, k);
            m_field = keep ? &m_fields.slot(k) : &m_dropped;
        }
        return true;
    }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) {
        m_errorPosition = position;
        m_errorText = e.what();
        return false;
    }

    std::size_t errorPosition() const { return m_errorPosition; }
    const std::string& errorText() const { return m_errorText; }
    bool topIsObject() const { return m_topIsObject; }
    // The top-level values that are not records of a list.
    const Value& rest() const { return m_rest; }
    bool listed(const char* list) const { return m_topKeys.count(list) > 0; }

private:
    static bool isList(std::string_view key) { return key == "materials" || key == "textures" || key == "tiles"; }
    static bool isKeyOf(std::string_view list, std::string_view key) {
        using Keys = std::span<const std::string_view>;
        const Keys keys = list == "materials" ? Keys(kMaterialKeys) : list == "textures" ? Keys(kTextureKeys) : Keys(kTileKeys);
        return std::find(keys.begin(), keys.end(), key) != keys.end();
    }
    static constexpr std::size_t kMaxFields = 32;

    // A value inside a record (or a whole record, or a top-level value).
    bool put(Value v) {
        if (m_inRecord && m_stack.empty()) {
            *m_field = std::move(v);
            return true;
        }
        if (m_stack.empty()) return done(std::move(v));
        Value& parent = *m_stack.back();
        if (parent.is_object()) {
            parent[m_keys.back()] = std::move(v);
            m_keys.pop_back();
        } else {
            parent.push_back(std::move(v));
        }
        return true;
    }
    bool open(Value container) {
        if (m_inRecord && m_stack.empty()) {   // a value of a record's field that is not a scalar
            *m_field = std::move(container);
            m_stack.push_back(m_field);
            return true;
        }
        if (m_stack.empty()) {
            m_record = std::move(container);
            m_stack.push_back(&m_record);
            return true;
        }
        Value& parent = *m_stack.back();
        Value* inner;
        if (parent.is_object()) {
            inner = &(parent[m_keys.back()] = std::move(container));
            m_keys.pop_back();
        } else {
            parent.push_back(std::move(container));
            inner = &parent.back();
        }
        m_stack.push_back(inner);
        return true;
    }
    bool close() {
        --m_depth;
        if (m_stack.empty()) return true;   // the top-level object ends
        m_stack.pop_back();
        if (m_stack.empty() && !m_inRecord) return done(std::move(m_record));
        return true;
    }
    // A whole value at depth 1 (a top-level value) or 2 (a record of a list).
    bool done(Value v) {
        if (m_list.empty()) {
            if (m_depth == 1) m_rest[m_key] = std::move(v);
            return true;
        }
        return built(Fields::notAnObject());   // objects come through m_fields
    }
    // A whole record of the current list.
    bool built(const Fields& record) {
        const std::size_t i = m_index++;
        if (i >= static_cast<std::size_t>(INT32_MAX))
            throw Refused{"the tile set: \"" + m_list + "\" holds more records than the file's count can say"};
        if (m_list == "materials") buildMaterial(record, i, m_b);
        else if (m_list == "textures") buildTexture(record, i, m_b, m_digests);
        else buildTile(record, i, m_b);
        return true;
    }

    Building& m_b;
    DigestChecker& m_digests;
    int m_depth = 0;
    bool m_topIsObject = false;
    std::string m_key;                 // the current top-level key
    std::unordered_set<std::string> m_topKeys;
    std::string m_list;                // the list whose records are being read
    std::size_t m_index = 0;
    bool m_inRecord = false;           // an object record of a list is being read into m_fields
    Fields m_fields;
    Value* m_field = nullptr;          // the value of m_fields' latest key
    Value m_dropped;                   // the value of a key that was not kept
    Value m_record;                    // a record that is not an object, being put together
    std::vector<Value*> m_stack;       // its open containers
    std::vector<std::string> m_keys;   // keys waiting for their values
    Value m_rest = Value::object();
    std::size_t m_errorPosition = 0;
    std::string m_errorText;
};

}  // namespace

BuildResult BuildTileSet(std::string_view json, const fs::path& texturesDir, const BuildOptions& options,
                         document::TileSet& set) {
    Building building(set, texturesDir, options);
    building.group = document::LookUpTileGroup(set, document::kTileGroup);
    if (!building.group) building.group = document::AddTileGroup(set, document::kTileGroup);
    DigestChecker digests;
    // A texture whose bytes do not match comes before any refusal of a later record.
    auto firstRefusal = [&](const std::string& refusal, bool laterThanTextures, std::size_t textureIndex) {
        const auto mismatch = digests.finish();
        if (mismatch && (laterThanTextures || mismatch->first < textureIndex)) return mismatch->second;
        return refusal;
    };
    StreamingBuilder builder(building, digests);
    try {
        if (!Value::sax_parse(json.begin(), json.end(), &builder))
            return {false, lineAndColumn(json, builder.errorPosition()) + ": " + parserReason(builder.errorText().c_str())};
        if (!builder.topIsObject()) throw Refused{"the tile set: is not a JSON object"};
        const Fields topFields = Fields::of(builder.rest());
        const Record top(topFields, nullptr, 0, kTileSetKeys);
        top.checkKeys();
        set.tileWidth = top.int32("tileWidth");
        set.tileHeight = top.int32("tileHeight");
        // A list key whose value is no list.
        for (const char* list : {"materials", "textures", "tiles"})
            if (builder.rest().contains(list)) top.list(list);
        if (const auto mismatch = digests.finish()) throw Refused{mismatch->second};
    } catch (const Refused& refused) {
        const bool inTextures = refused.message.rfind("texture", 0) == 0 || refused.message.rfind("textures[", 0) == 0;
        const std::size_t index = inTextures ? set.textures.size() : 0;
        return {false, firstRefusal(refused.message, !inTextures && builder.listed("textures"), index)};
    } catch (const std::bad_alloc&) {
        return {false, "not enough memory to build the tile set"};
    }
    return {true, {}};
}

}  // namespace marquetor::cli
