#pragma once
// Tile ID -> tile: an open-addressing hash table keyed on the integer, kept in one array.
// A million tiles cost one allocation (reserved ahead by the file reader) instead of a
// million nodes, and a look-up is one or two probes in adjacent memory.
//
// The interface is the part of std::unordered_map the program uses: find, count, at,
// try_emplace, erase, clear, reserve, size, iteration. Inserting or erasing may move
// entries, which invalidates iterators and references into the table (as a rehash of
// std::unordered_map would); the tiles themselves never move.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <utility>

#include "marquetor/tileset_export.h"

namespace marquetor::document {

struct Tile;

class MARQUETOR_API TileIndex {
public:
    // One slot; `first` and `second` as in a map's value type. All zero is an unused slot.
    struct Entry {
        std::int32_t first;
        bool used;
        Tile* second;
    };

    template <class E>
    class Iter {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using pointer = E*;
        using reference = E&;

        Iter() = default;
        Iter(E* at, E* end) : m_at(at), m_end(end) { skipEmpty(); }
        template <class Other>
        Iter(const Iter<Other>& other) : m_at(other.m_at), m_end(other.m_end) {}

        E& operator*() const { return *m_at; }
        E* operator->() const { return m_at; }
        Iter& operator++() {
            ++m_at;
            skipEmpty();
            return *this;
        }
        Iter operator++(int) {
            Iter old = *this;
            ++*this;
            return old;
        }
        template <class Other>
        bool operator==(const Iter<Other>& other) const { return m_at == other.m_at; }

    private:
        template <class>
        friend class Iter;
        friend class TileIndex;
        void skipEmpty() {
            while (m_at != m_end && !m_at->used) ++m_at;
        }
        E* m_at = nullptr;
        E* m_end = nullptr;
    };
    using iterator = Iter<Entry>;
    using const_iterator = Iter<const Entry>;

    TileIndex() = default;
    TileIndex(TileIndex&& other) noexcept { swap(other); }
    TileIndex& operator=(TileIndex&& other) noexcept {
        TileIndex(std::move(other)).swap(*this);
        return *this;
    }
    TileIndex(const TileIndex&) = delete;
    TileIndex& operator=(const TileIndex&) = delete;
    void swap(TileIndex& other) noexcept {
        std::swap(m_slots, other.m_slots);
        std::swap(m_mask, other.m_mask);
        std::swap(m_shift, other.m_shift);
        std::swap(m_size, other.m_size);
    }

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    iterator begin() { return {m_slots.get(), slotsEnd()}; }
    iterator end() { return {slotsEnd(), slotsEnd()}; }
    const_iterator begin() const { return {m_slots.get(), slotsEnd()}; }
    const_iterator end() const { return {slotsEnd(), slotsEnd()}; }

    iterator find(std::int32_t id) {
        Entry* e = lookUp(id);
        return e ? iterator(e, slotsEnd()) : end();
    }
    const_iterator find(std::int32_t id) const {
        const Entry* e = const_cast<TileIndex*>(this)->lookUp(id);
        return e ? const_iterator(e, slotsEnd()) : end();
    }
    std::size_t count(std::int32_t id) const { return const_cast<TileIndex*>(this)->lookUp(id) ? 1 : 0; }
    Tile*& at(std::int32_t id) {
        Entry* e = lookUp(id);
        if (!e) throw std::out_of_range("TileIndex::at: no tile with this ID");
        return e->second;
    }
    Tile* const& at(std::int32_t id) const { return const_cast<TileIndex*>(this)->at(id); }

    // Enters id -> tile unless id is present; either way the entry for id and whether it
    // was entered now.
    std::pair<iterator, bool> try_emplace(std::int32_t id, Tile* tile) {
        if (m_size + 1 > capacityFor(m_mask)) grow(m_size + 1);
        std::size_t i = home(id);
        for (;; i = (i + 1) & m_mask) {
            Entry& e = m_slots[i];
            if (!e.used) {
                e.first = id;
                e.used = true;
                e.second = tile;
                ++m_size;
                return {iterator(&e, slotsEnd()), true};
            }
            if (e.first == id) return {iterator(&e, slotsEnd()), false};
        }
    }

    // Removes the entry; returns the number removed (0 or 1).
    std::size_t erase(std::int32_t id) {
        Entry* e = lookUp(id);
        if (!e) return 0;
        eraseSlot(static_cast<std::size_t>(e - m_slots.get()));
        return 1;
    }
    // Removes the entry an iterator points at. Returns end(), not the next entry: entries
    // after it may have moved into its place.
    iterator erase(const_iterator it) {
        eraseSlot(static_cast<std::size_t>(it.m_at - m_slots.get()));
        return end();
    }

    // Empties the table and gives its memory back.
    void clear() {
        m_slots.reset();
        m_mask = 0;
        m_size = 0;
    }
    // Asks the processor to fetch the slot where an ID's search starts: a reader that knows
    // the next ID a little ahead of entering it hides most of a cache miss.
    void prefetch(std::int32_t id) const {
        if (m_slots) __builtin_prefetch(m_slots.get() + home(id), 1);
    }
    // Room for n entries without growing.
    void reserve(std::size_t n) {
        if (n > capacityFor(m_mask)) grow(n);
    }

private:
    static std::size_t slotCount(std::size_t mask) { return mask ? mask + 1 : 0; }
    // At most three quarters full: probe runs stay short.
    static std::size_t capacityFor(std::size_t mask) { return slotCount(mask) / 4 * 3; }
    // Fibonacci hashing: consecutive IDs spread over the whole table.
    std::size_t home(std::int32_t id) const {
        const std::uint64_t key = static_cast<std::uint32_t>(id);
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> m_shift);
    }
    Entry* slotsEnd() const { return m_slots.get() + slotCount(m_mask); }

    Entry* lookUp(std::int32_t id) {
        if (m_size == 0) return nullptr;
        for (std::size_t i = home(id);; i = (i + 1) & m_mask) {
            Entry& e = m_slots[i];
            if (!e.used) return nullptr;
            if (e.first == id) return &e;
        }
    }

    void grow(std::size_t atLeast);
    void eraseSlot(std::size_t hole);

    // calloc'd: a fresh table's zero pages come from the system as they are touched, never
    // written first.
    struct FreeSlots {
        void operator()(Entry* slots) const noexcept;
    };
    std::unique_ptr<Entry[], FreeSlots> m_slots;
    std::size_t m_mask = 0;    // slots - 1 (slots a power of two), 0 when there are none
    unsigned m_shift = 63;     // 64 - log2(slots)
    std::size_t m_size = 0;
};

}  // namespace marquetor::document
