// Names to values, for the rules that look up every frame and signal name of
// a node. A node can hold hundreds of thousands of signals, so the table
// allocates nothing per name: the entries lie in insertion order in one
// array, and a compact index (8 bytes a slot, open addressing) finds them,
// with a part of each name's hash beside the entry number so that a probe
// rarely touches an entry that does not match.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvane::detail {

template <class Value>
class NameTable {
public:
    explicit NameTable(std::size_t expected = 0) : slots_(capacity_for(expected)) {
        entries_.reserve(expected);
    }

    // The value held for `name`, adding `value` when there is none; and
    // whether it was added. The reference holds until the next addition.
    std::pair<Value&, bool> try_emplace(std::string_view name, Value value) {
        if (2 * (entries_.size() + 1) > slots_.size()) {
            grow();
        }
        const std::size_t hash = std::hash<std::string_view>{}(name);
        Slot& slot = slot_for(name, hash);
        if (slot.entry != 0) {
            return {entries_[slot.entry - 1].value, false};
        }
        entries_.push_back(Entry{name, hash, std::move(value)});
        slot = Slot{static_cast<std::uint32_t>(entries_.size()), tag_of(hash)};
        return {entries_.back().value, true};
    }

    bool contains(std::string_view name) const {
        return slot_for(name, std::hash<std::string_view>{}(name)).entry != 0;
    }

private:
    struct Slot {
        std::uint32_t entry = 0;  // the entry's index plus one; 0 when the slot is free
        std::uint32_t tag = 0;    // the upper half of the name's hash
    };
    struct Entry {
        std::string_view name;
        std::size_t hash;
        Value value;
    };

    // At least twice the names expected, a power of two, so that probe
    // sequences stay short and a mask replaces the modulo.
    static std::size_t capacity_for(std::size_t expected) { return std::bit_ceil(2 * expected + 2); }

    static std::uint32_t tag_of(std::size_t hash) {
        return static_cast<std::uint32_t>(hash >> (std::numeric_limits<std::size_t>::digits / 2));
    }

    // The slot of `name`, or the free slot where it belongs. The index is at
    // most half full, so a free slot always ends the probe.
    template <class Slots>
    static auto& slot_in(Slots& slots, const std::vector<Entry>& entries, std::string_view name,
                         std::size_t hash) {
        const std::size_t mask = slots.size() - 1;
        const std::uint32_t tag = tag_of(hash);
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            auto& slot = slots[i];
            if (slot.entry == 0 || (slot.tag == tag && entries[slot.entry - 1].name == name)) {
                return slot;
            }
        }
    }
    Slot& slot_for(std::string_view name, std::size_t hash) { return slot_in(slots_, entries_, name, hash); }
    const Slot& slot_for(std::string_view name, std::size_t hash) const {
        return slot_in(slots_, entries_, name, hash);
    }

    void grow() {
        slots_.assign(2 * slots_.size(), Slot{});
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const Entry& entry = entries_[i];
            slot_for(entry.name, entry.hash) = Slot{static_cast<std::uint32_t>(i + 1), tag_of(entry.hash)};
        }
    }

    std::vector<Slot> slots_;
    std::vector<Entry> entries_;
};

}  // namespace tolvane::detail
