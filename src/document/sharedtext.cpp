#include "document/sharedtext.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace marquetor::document {

namespace detail {

std::uint64_t hashLongText(const char* p, std::size_t n) noexcept {
    // 16 bytes at a time, the last 16 overlapping what came before.
    std::uint64_t h = n;
    const char* const last = p + n - 16;
    for (; p < last; p += 16) h = mixWords(h ^ load8(p), load8(p + 8));
    return mixWords(h ^ load8(last), load8(last + 8));
}

}  // namespace detail

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

namespace {
constexpr std::size_t kFirstSlots = 64;
}

TextSharer::TextSharer() : m_slots(kFirstSlots) {}

SharedText TextSharer::shareLong(std::string_view bytes) {
    const std::uint64_t hash = HashText(bytes);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
        const Slot& slot = m_slots[i];
        if (slot.hash == hash && slot.size == bytes.size() && slot.text.view() == bytes) return slot.text;
        if (slot.size == 0) break;
    }
    return add(bytes, hash, 0, 0);
}

SharedText TextSharer::add(std::string_view bytes, std::uint64_t hash, std::uint64_t first, std::uint64_t last) {
    if ((m_used + 1) * 2 > m_slots.size()) grow();
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = static_cast<std::size_t>(hash) & mask;
    while (m_slots[i].size != 0) i = (i + 1) & mask;
    m_slots[i] = Slot{hash, first, last, bytes.size(), SharedText(bytes, hash)};
    ++m_used;
    return m_slots[i].text;
}

void TextSharer::clear() {
    std::vector<Slot>(kFirstSlots).swap(m_slots);
    m_used = 0;
}

void TextSharer::grow() {
    std::vector<Slot> bigger(m_slots.size() * 2);
    const std::size_t mask = bigger.size() - 1;
    for (Slot& slot : m_slots) {
        if (slot.size == 0) continue;
        std::size_t i = static_cast<std::size_t>(slot.hash) & mask;
        while (bigger[i].size != 0) i = (i + 1) & mask;
        bigger[i] = std::move(slot);
    }
    m_slots = std::move(bigger);
}

}  // namespace marquetor::document
