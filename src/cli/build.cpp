#include "cli/build.h"

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <deque>
#include <cstring>
#include <span>
#include <thread>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/digest.h"
#include "cli/jsontext.h"
#include "document/text.h"

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
    AppendJsonString(out, bytes);
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

// One record of the JSON: its fields, read with the record named in every refusal. The name
// is only put together for a refusal: a hundred thousand records pass through here.
class Record {
public:
    Record(const Value& value, const char* list, std::size_t index, std::span<const std::string_view> keys)
        : m_value(value), m_list(list), m_index(index), m_keys(keys) {
        if (!value.is_object()) refuse("is not a JSON object");
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
        for (const auto& [key, item] : m_value.items()) {
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

    bool has(const char* key) const { return m_value.contains(key); }

    // A whole number from lo to hi; `field` words the range in the refusal.
    std::int64_t number(const char* key, std::int64_t lo, std::int64_t hi, const char* field) const {
        const auto it = m_value.find(key);
        if (it == m_value.end()) refuse("has no \"" + std::string(key) + "\"");
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
    // and no zero byte.
    std::string text(const char* key) const {
        const auto it = m_value.find(key);
        if (it == m_value.end()) refuse("has no \"" + std::string(key) + "\"");
        if (!it->is_string()) refuse("\"" + std::string(key) + "\" is not a text");
        std::string bytes = it->get<std::string>();
        const std::string_view encodingKey = encodingKeyOf(key);
        if (const auto enc = m_value.find(encodingKey); enc != m_value.end()) {
            if (!enc->is_string() || (*enc != kWindows1252 && *enc != kUtf8))
                refuse("\"" + std::string(encodingKey) + "\" must be \"windows-1252\" or \"utf-8\"");
            if (*enc == kWindows1252) {
                std::optional<std::string> restored = document::Utf8ToWindows1252(bytes);
                if (!restored) refuse("\"" + std::string(key) + "\" holds a character that Windows-1252 lacks");
                bytes = std::move(*restored);
            }
        }
        if (bytes.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            refuse("\"" + std::string(key) + "\" holds a line break or a zero byte, which the file cannot keep");
        return bytes;
    }

    const Value* list(const char* key) const {
        const auto it = m_value.find(key);
        if (it == m_value.end()) return nullptr;
        if (!it->is_array()) refuse("\"" + std::string(key) + "\" is not a list");
        if (it->size() > static_cast<std::size_t>(INT32_MAX))
            refuse("\"" + std::string(key) + "\" holds more records than the file's count can say");
        return &*it;
    }

    const Value& at(const char* key) const { return m_value.at(key); }
    std::int32_t id() const { return m_id.value_or(0); }

private:
    const Value& m_value;
    const char* m_list;   // null for the tile set itself
    std::size_t m_index;
    std::span<const std::string_view> m_keys;   // static arrays
    const char* m_kind = nullptr;
    std::string_view m_name;
    std::optional<std::int32_t> m_id;
};

// Opens a file for reading; the descriptor is closed when this goes.
class InputFile {
public:
    explicit InputFile(const fs::path& path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int fd() const { return m_fd; }

private:
    int m_fd;
};

struct FileBytes {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::int32_t size = 0;
};

// A texture file whole. Only regular files: a pipe or a device could block or never end.
FileBytes readTexture(const fs::path& path, const Record& record) {
    const std::string shown = document::BytesToUtf8(path.string());
    const InputFile file(path);
    if (file.fd() < 0) record.refuse(shown + " cannot be read: " + std::strerror(errno));
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0) record.refuse(shown + " cannot be read: " + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) record.refuse(shown + " is not a regular file");
    if (st.st_size > INT32_MAX)
        record.refuse(shown + " has " + std::to_string(st.st_size) + " bytes; a texture holds at most " +
                      std::to_string(INT32_MAX));
    FileBytes out;
    const auto size = static_cast<std::size_t>(st.st_size);
    if (size == 0) return out;
    out.bytes.reset(new (std::nothrow) std::uint8_t[size]);
    if (!out.bytes) record.refuse("not enough memory for " + shown);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(file.fd(), out.bytes.get() + got, std::min<std::size_t>(size - got, 1u << 30));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) record.refuse(shown + " cannot be read: " + std::strerror(errno));
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got != size) record.refuse(shown + " changed while it was read");
    out.size = static_cast<std::int32_t>(size);
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

void buildMaterials(const Value& list, document::TileSet& set) {
    std::unordered_map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < list.size(); ++i) {
        Record r(list[i], "materials", i, kMaterialKeys);
        std::string name = r.text("name");
        r.identify("material", name);
        if (const auto [it, fresh] = seen.emplace(name, i); !fresh)
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
                             std::to_string(green) + ", blue " + std::to_string(blue) +
                             " (change both, or leave one out)");
                color = given;   // it may hold bits above blue
            }
        } else {
            color = r.int32("color");
        }

        const std::string description = r.has("description") ? r.text("description") : std::string();
        if (description.size() > document::kDescriptionSize)
            r.refuse("the description has " + std::to_string(description.size()) + " bytes; the file keeps at most " +
                     std::to_string(document::kDescriptionSize));
        document::AddMaterial(set, name, color, description);
    }
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

void buildTextures(const Value& list, const fs::path& dir, const BuildOptions& options, document::TileSet& set) {
    std::unordered_map<std::string, std::size_t> seen;
    DigestChecker digests;
    // Entered in the order listed, as a load enters a file's textures: within a bucket a load
    // leaves the file's order reversed (most recent first), and entering that order again
    // reverses it back, so the saved file lists them as the dumped one did.
    for (std::size_t i = 0; i < list.size(); ++i) {
        try {
            Record r(list[i], "textures", i, kTextureKeys);
            std::string name = r.text("name");
            r.identify("texture", name);
            if (const auto [it, fresh] = seen.emplace(name, i); !fresh)
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

            FileBytes file = readTexture(dir / name, r);
            const std::span<const std::uint8_t> bytes(file.bytes.get(), static_cast<std::size_t>(file.size));
            if (!options.ignoreSha256) {
                const std::string shown = document::BytesToUtf8((dir / name).string());
                if (size && *size != file.size)
                    r.refuse(shown + " has " + std::to_string(file.size) + " bytes, the JSON says " +
                             std::to_string(*size) + " (--ignore-sha256 takes the file as it is)");
                // The names are unique, so these bytes stay in the set until the end.
                if (!digest.empty()) digests.add(i, bytes, digest, r.label() + ": the SHA-256 of " + shown);
            }
            document::PutTexture(set, std::move(name), std::move(file.bytes), file.size);
        } catch (const Refused&) {
            // An earlier texture whose bytes do not match comes first.
            if (const auto mismatch = digests.finish(); mismatch && mismatch->first < i) throw Refused{mismatch->second};
            throw;
        }
    }
    if (const auto mismatch = digests.finish()) throw Refused{mismatch->second};
}

void buildTiles(const Value& list, document::TileSet& set) {
    document::TileGroup* group = document::LookUpTileGroup(set, 1);
    if (!group) group = document::AddTileGroup(set, 1);
    group->tiles.reserve(list.size());
    group->tileIndex.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        Record r(list[i], "tiles", i, kTileKeys);
        r.identify(r.int32("id"));
        const std::string texture = r.text("texture");
        const std::string material = r.text("material");
        const std::int16_t layer = r.has("layer") ? r.int16("layer") : std::int16_t{0};
        const std::int16_t collision = r.has("collision") ? r.int16("collision") : std::int16_t{0};
        if (!document::AddTile(*group, r.id(), texture, material, layer, collision)) r.refuse("the ID is taken by an earlier tile");
    }
}

}  // namespace

BuildResult BuildTileSet(std::string_view json, const fs::path& texturesDir, const BuildOptions& options,
                         document::TileSet& set) {
    Value root;
    try {
        root = Value::parse(json.begin(), json.end());
    } catch (const Value::parse_error& e) {
        return {false, lineAndColumn(json, e.byte) + ": " + parserReason(e.what())};
    }
    try {
        const Record top(root, nullptr, 0, kTileSetKeys);
        top.checkKeys();
        set.tileWidth = top.int32("tileWidth");
        set.tileHeight = top.int32("tileHeight");
        if (const Value* materials = top.list("materials")) buildMaterials(*materials, set);
        if (const Value* textures = top.list("textures")) buildTextures(*textures, texturesDir, options, set);
        if (const Value* tiles = top.list("tiles")) buildTiles(*tiles, set);
        else if (!document::LookUpTileGroup(set, 1)) document::AddTileGroup(set, 1);
    } catch (const Refused& refused) {
        return {false, refused.message};
    } catch (const std::bad_alloc&) {
        return {false, "not enough memory to build the tile set"};
    }
    return {true, {}};
}

}  // namespace marquetor::cli
