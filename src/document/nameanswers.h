#pragma once
// Whether each name the tiles hold is a key of the document, looked up once per shared
// text: a million tiles hold a few thousand texts between them. Keyed on the address of
// the text's bytes, which stays while a record holds the text, so the answers hold only
// while the document does not change; clear() forgets them.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "document/sharedtext.h"

namespace marquetor::document {

class NameAnswers {
public:
    // look(std::string_view) gives the answer for a text not seen before.
    template <class Look>
    bool held(const SharedText& name, Look&& look);
    void clear() { *this = NameAnswers(); }

private:
    std::size_t slotOf(const char* key) const {
        const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(key));
        return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> m_shift);
    }
    void grow();
    // A slot holds the text's address with the answer in its lowest bit (the bytes of a
    // text start at an even address); 0 is a free slot.
    std::vector<std::uintptr_t> m_slots;
    std::size_t m_used = 0;
    int m_shift = 64;
    const char* m_lastKey = nullptr;   // tiles come in runs that name the same texts
    bool m_lastAnswer = false;
};

template <class Look>
bool NameAnswers::held(const SharedText& name, Look&& look) {
    const char* key = name.data();
    if (key == m_lastKey) return m_lastAnswer;
    const auto address = reinterpret_cast<std::uintptr_t>(key);
    // The empty text holds no block of its own.
    if (name.empty() || (address & 1u) != 0) return look(name.view());
    if ((m_used + 1) * 2 > m_slots.size()) grow();
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = slotOf(key);
    while (m_slots[i] != 0 && (m_slots[i] & ~std::uintptr_t{1}) != address) i = (i + 1) & mask;
    if (m_slots[i] == 0) {
        m_slots[i] = address | (look(name.view()) ? 1u : 0u);
        ++m_used;
    }
    m_lastKey = key;
    m_lastAnswer = (m_slots[i] & 1u) != 0;
    return m_lastAnswer;
}

inline void NameAnswers::grow() {
    std::vector<std::uintptr_t> old = std::move(m_slots);
    m_slots.assign(old.empty() ? 1024 : old.size() * 2, 0);
    m_shift = 64;
    for (std::size_t n = m_slots.size(); n > 1; n >>= 1) --m_shift;
    const std::size_t mask = m_slots.size() - 1;
    for (const std::uintptr_t slot : old) {
        if (slot == 0) continue;
        std::size_t i = slotOf(reinterpret_cast<const char*>(slot & ~std::uintptr_t{1}));
        while (m_slots[i] != 0) i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

}  // namespace marquetor::document
