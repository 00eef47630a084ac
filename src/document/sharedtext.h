#pragma once
// Texts that many records hold alike: a million tiles name a few thousand textures and
// materials. A SharedText is an immutable text that its copies share (a reference count,
// like std::shared_ptr), so such a name is kept once however many tiles name it. Giving a
// record a new text replaces its handle and never changes the text the others still hold.
//
// It reads as bytes: a std::string_view (implicitly), data()/size(), c_str(), and it
// compares byte for byte with other texts and with anything that converts to a
// std::string_view ("grass.png", a std::string).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "marquetor/tileset_export.h"

namespace marquetor::document {

// A hash of the bytes: equal texts give equal values, whoever made them. Names of up to
// 16 bytes (nearly all of them) take a dozen instructions.
inline std::uint64_t HashText(std::string_view bytes) noexcept;

class MARQUETOR_API SharedText {
public:
    // The empty text (holds no memory).
    SharedText() noexcept = default;
    // A text of its own with these bytes.
    explicit SharedText(std::string_view bytes);
    SharedText(const SharedText& other) noexcept : m_rep(other.m_rep) { retain(); }
    SharedText(SharedText&& other) noexcept : m_rep(other.m_rep) { other.m_rep = nullptr; }
    SharedText& operator=(const SharedText& other) noexcept {
        other.retain();
        release();
        m_rep = other.m_rep;
        return *this;
    }
    SharedText& operator=(SharedText&& other) noexcept {
        if (this != &other) {
            release();
            m_rep = other.m_rep;
            other.m_rep = nullptr;
        }
        return *this;
    }
    // Takes a text of its own with these bytes; the texts other records hold stay.
    SharedText& operator=(std::string_view bytes) { return *this = SharedText(bytes); }
    ~SharedText() { release(); }

    std::string_view view() const noexcept {
        return m_rep ? std::string_view(m_rep->bytes, m_rep->size) : std::string_view();
    }
    operator std::string_view() const noexcept { return view(); }
    const char* data() const noexcept { return m_rep ? m_rep->bytes : ""; }
    // The bytes followed by a zero byte (a text that holds a zero byte ends there for C).
    const char* c_str() const noexcept { return data(); }
    std::size_t size() const noexcept { return m_rep ? m_rep->size : 0; }
    bool empty() const noexcept { return m_rep == nullptr; }
    std::string str() const { return std::string(view()); }
    // HashText of the bytes, computed once when the text was made.
    std::uint64_t hash() const noexcept { return m_rep ? m_rep->hash : HashText({}); }
    // Whether both hold the very same text (not merely equal bytes).
    bool sharesWith(const SharedText& other) const noexcept { return m_rep == other.m_rep; }

    friend bool operator==(const SharedText& a, const SharedText& b) noexcept {
        return a.m_rep == b.m_rep || (a.hash() == b.hash() && a.view() == b.view());
    }
    friend bool operator==(const SharedText& a, std::string_view b) noexcept { return a.view() == b; }

private:
    friend class TextSharer;

    // The shared block: a header, then the bytes and a zero byte.
    struct Rep {
        std::atomic<std::uint32_t> refs;
        std::uint32_t size;
        std::uint64_t hash;
        char bytes[1];
    };

    SharedText(std::string_view bytes, std::uint64_t hash);
    void retain() const noexcept {
        if (m_rep) m_rep->refs.fetch_add(1, std::memory_order_relaxed);
    }
    void release() noexcept {
        if (m_rep && m_rep->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) destroy(m_rep);
        m_rep = nullptr;
    }
    static void destroy(Rep* rep) noexcept;

    Rep* m_rep = nullptr;
};

// Hands out one SharedText per distinct byte sequence: a file reader that meets the same
// name a million times keeps it once. Holds a reference to every text it handed out until
// it is cleared or goes; what it handed out stays valid after that.
class MARQUETOR_API TextSharer {
public:
    TextSharer();

    // The text held for these bytes, made now if none is.
    SharedText share(std::string_view bytes);
    // Texts handed out so far, each once.
    std::size_t size() const { return m_used; }
    void clear();

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::uint64_t first = 0;   // for texts of up to 16 bytes: their first and last words
        std::uint64_t last = 0;
        std::size_t size = 0;      // 0: a free slot
        SharedText text;
    };

    SharedText shareLong(std::string_view bytes);
    SharedText add(std::string_view bytes, std::uint64_t hash, std::uint64_t first, std::uint64_t last);
    void grow();

    std::vector<Slot> m_slots;   // open addressing by hash, at most half full
    std::size_t m_used = 0;
};

// ---- What the inline functions above are made of ----------------------------------------

namespace detail {
inline std::uint64_t load8(const char* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}
inline std::uint32_t load4(const char* p) noexcept {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}
// The first and the last bytes of a text of 1 to 16 bytes as two words (they overlap when
// the text is shorter than 16): together they hold every byte.
inline void loadEnds(const char* p, std::size_t n, std::uint64_t& a, std::uint64_t& b) noexcept {
    if (n >= 8) {
        a = load8(p);
        b = load8(p + n - 8);
    } else if (n >= 4) {
        a = load4(p);
        b = load4(p + n - 4);
    } else {
        a = static_cast<unsigned char>(p[0]) | static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8 |
            static_cast<std::uint64_t>(static_cast<unsigned char>(p[n - 1])) << 16;
        b = 0;
    }
}
// The full 128-bit product folded to 64 bits: every bit of either word reaches every bit.
inline std::uint64_t mixWords(std::uint64_t a, std::uint64_t b) noexcept {
    __extension__ using Wide = unsigned __int128;
    const Wide product = static_cast<Wide>(a ^ 0x9E3779B97F4A7C15ull) * (b ^ 0xBF58476D1CE4E5B9ull);
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}
MARQUETOR_API std::uint64_t hashLongText(const char* p, std::size_t n) noexcept;
}  // namespace detail

inline std::uint64_t HashText(std::string_view bytes) noexcept {
    const std::size_t n = bytes.size();
    if (n == 0) return 0x6A09E667F3BCC908ull;
    if (n > 16) return detail::hashLongText(bytes.data(), n);
    std::uint64_t a, b;
    detail::loadEnds(bytes.data(), n, a, b);
    return detail::mixWords(a ^ n, b);
}

inline SharedText TextSharer::share(std::string_view bytes) {
    const std::size_t n = bytes.size();
    if (n == 0) return SharedText();
    if (n > 16) return shareLong(bytes);
    // The words that hash the text hold all of it: comparing them compares the bytes.
    std::uint64_t first, last;
    detail::loadEnds(bytes.data(), n, first, last);
    const std::uint64_t hash = detail::mixWords(first ^ n, last);   // HashText(bytes)
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
        const Slot& slot = m_slots[i];
        if (slot.hash == hash && slot.first == first && slot.last == last && slot.size == n) return slot.text;
        if (slot.size == 0) break;
    }
    return add(bytes, hash, first, last);
}

}  // namespace marquetor::document
