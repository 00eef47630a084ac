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
#include <string>
#include <string_view>
#include <vector>

namespace marquetor::document {

// A hash of the bytes: equal texts give equal values, whoever made them.
std::uint64_t HashText(std::string_view bytes) noexcept;

class SharedText {
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

    std::string_view view() const noexcept { return m_rep ? std::string_view(m_rep->bytes, m_rep->size) : std::string_view(); }
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
class TextSharer {
public:
    SharedText share(std::string_view bytes);
    std::size_t size() const { return m_used; }
    void clear();

private:
    void grow();

    std::vector<SharedText> m_slots;   // open addressing by hash; empty handles are free slots
    std::size_t m_used = 0;
};

}  // namespace marquetor::document
