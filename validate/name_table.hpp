// Names to values, for the rules that look up every frame and signal name of
// a node: open addressing in one array, so that a node of hundreds of
// thousands of signals costs no allocation per name and few cache misses.
#pragma once

#include <bit>
#include <cstddef>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvane::detail {

template <class Value>
class NameTable {
public:
    explicit NameTable(std::size_t expected = 0) : slots_(capacity_for(expected)) {}

    // The value held for `name`, adding `value` when there is none; and
    // whether it was added.
    std::pair<Value&, bool> try_emplace(std::string_view name, Value value) {
        if (2 * (count_ + 1) > slots_.size()) {
            grow();
        }
        const std::size_t hash = std::hash<std::string_view>{}(name);
        Slot& slot = slot_for(name, hash);
        if (slot.used) {
            return {slot.value, false};
        }
        slot = Slot{name, hash, true, std::move(value)};
        ++count_;
        return {slot.value, true};
    }

    bool contains(std::string_view name) const {
        return slot_for(name, std::hash<std::string_view>{}(name)).used;
    }

private:
    struct Slot {
        std::string_view name;
        std::size_t hash = 0;
        bool used = false;
        Value value{};
    };

    // At least twice the names expected, a power of two, so that a probe
    // sequence is short and a mask replaces the modulo.
    static std::size_t capacity_for(std::size_t expected) { return std::bit_ceil(2 * expected + 2); }

    // The slot holding `name`, or the free slot where it belongs.
    template <class Self>
    static auto& slot_in(Self& slots, std::string_view name, std::size_t hash) {
        const std::size_t mask = slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            auto& slot = slots[i];
            if (!slot.used || (slot.hash == hash && slot.name == name)) {
                return slot;
            }
        }
    }
    Slot& slot_for(std::string_view name, std::size_t hash) { return slot_in(slots_, name, hash); }
    const Slot& slot_for(std::string_view name, std::size_t hash) const {
        return slot_in(slots_, name, hash);
    }

    void grow() {
        std::vector<Slot> old(2 * slots_.size());
        old.swap(slots_);
        for (Slot& slot : old) {
            if (slot.used) {
                slot_for(slot.name, slot.hash) = std::move(slot);
            }
        }
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

}  // namespace tolvane::detail
