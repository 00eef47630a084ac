#include "document/tileindex.h"

#include <bit>
#include <cstdlib>
#include <new>

namespace marquetor::document {

void TileIndex::FreeSlots::operator()(Entry* slots) const noexcept { std::free(slots); }

void TileIndex::grow(std::size_t atLeast) {
    std::size_t slots = 16;
    while (slots / 4 * 3 < atLeast) slots *= 2;
    // Zeroed: every slot unused.
    std::unique_ptr<Entry[], FreeSlots> fresh(static_cast<Entry*>(std::calloc(slots, sizeof(Entry))));
    if (!fresh) throw std::bad_alloc();
    const std::unique_ptr<Entry[], FreeSlots> old = std::move(m_slots);
    const std::size_t oldSlots = slotCount(m_mask);
    m_slots = std::move(fresh);
    m_mask = slots - 1;
    m_shift = 64u - static_cast<unsigned>(std::countr_zero(slots));
    for (std::size_t i = 0; i < oldSlots; ++i) {
        const Entry& e = old[i];
        if (!e.used) continue;
        std::size_t j = home(e.first);
        while (m_slots[j].used) j = (j + 1) & m_mask;
        m_slots[j] = e;
    }
}

// Linear probing without tombstones: the entries after the hole that would still be found
// from their home slot stay, the others move back into the hole, which moves on.
void TileIndex::eraseSlot(std::size_t hole) {
    m_slots[hole].used = false;
    --m_size;
    std::size_t j = hole;
    for (;;) {
        j = (j + 1) & m_mask;
        Entry& e = m_slots[j];
        if (!e.used) return;
        const std::size_t k = home(e.first);
        // e may stay when its home lies cyclically in (hole, j].
        const bool reachable = hole <= j ? (hole < k && k <= j) : (hole < k || k <= j);
        if (reachable) continue;
        m_slots[hole] = e;
        e.used = false;
        hole = j;
    }
}

}  // namespace marquetor::document
