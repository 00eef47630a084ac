#include "document/sharedtext.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace marquetor::document {

namespace {

constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;

std::uint64_t mix(std::uint64_t h) {
    h *= kMultiplier;
    return h ^ (h >> 29);
}

std::uint64_t load8(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

std::uint32_t load4(const char* p) {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

}  // namespace

std::uint64_t HashText(std::string_view bytes) noexcept {
    const char* p = bytes.data();
    std::size_t n = bytes.size();
    std::uint64_t h = 0x6A09E667F3BCC908ull ^ (n * kMultiplier);
    for (; n >= 8; p += 8, n -= 8) h = mix(h ^ load8(p));
    // The last one to seven bytes in one word: two overlapping loads where they allow it.
    std::uint64_t tail = 0;
    if (n >= 4) {
        tail = static_cast<std::uint64_t>(load4(p)) << 32 | load4(p + n - 4);
    } else if (n > 0) {
        tail = static_cast<std::uint64_t>(static_cast<unsigned char>(p[0])) << 16 |
               static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8 |
               static_cast<unsigned char>(p[n - 1]);
    }
    return mix(mix(h ^ tail) ^ n);
}

SharedText::SharedText(std::string_view bytes) : SharedText(bytes, HashText(bytes)) {}

SharedText::SharedText(std::string_view bytes, std::uint64_t hash) {
    if (bytes.empty()) return;
    if (bytes.size() >= std::numeric_limits<std::uint32_t>::max()) throw std::length_error("SharedText: text too long");
    void* block = ::operator new(offsetof(Rep, bytes) + bytes.size() + 1);
    Rep* rep = static_cast<Rep*>(block);
    new (&rep->refs) std::atomic<std::uint32_t>(1);
    rep->size = static_cast<std::uint32_t>(bytes.size());
    rep->hash = hash;
    std::memcpy(rep->bytes, bytes.data(), bytes.size());
    rep->bytes[bytes.size()] = '\0';
    m_rep = rep;
}

void SharedText::destroy(Rep* rep) noexcept {
    rep->refs.~atomic();
    ::operator delete(rep);
}

// --- TextSharer --------------------------------------------------------------------------

SharedText TextSharer::share(std::string_view bytes) {
    if (bytes.empty()) return SharedText();
    const std::uint64_t hash = HashText(bytes);
    if ((m_used + 1) * 4 > m_slots.size() * 3) grow();
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
        SharedText& slot = m_slots[i];
        const SharedText::Rep* rep = slot.m_rep;
        if (rep == nullptr) {
            slot = SharedText(bytes, hash);
            ++m_used;
            return slot;
        }
        if (rep->hash == hash && rep->size == bytes.size() && std::memcmp(rep->bytes, bytes.data(), bytes.size()) == 0)
            return slot;
    }
}

void TextSharer::clear() {
    m_slots.clear();
    m_slots.shrink_to_fit();
    m_used = 0;
}

void TextSharer::grow() {
    std::vector<SharedText> bigger(m_slots.empty() ? 64 : m_slots.size() * 2);
    const std::size_t mask = bigger.size() - 1;
    for (SharedText& text : m_slots) {
        if (text.empty()) continue;
        std::size_t i = static_cast<std::size_t>(text.m_rep->hash) & mask;
        while (!bigger[i].empty()) i = (i + 1) & mask;
        bigger[i] = std::move(text);
    }
    m_slots = std::move(bigger);
}

}  // namespace marquetor::document
