// One description of each record: its name, its fields in declaration order
// and where its positions are kept. Everything that walks a record's fields
// (the Python bindings, the text representations, to_dict, the fuzz walk,
// position lookups) iterates the description instead of listing fields, so a
// field added to a record and to its description reaches all of them.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "source_position.hpp"

namespace tolvane {

// Specialised right after each record's definition, with
//   name      the record's name, which is also its Python class's name;
//   fields    a tuple of Field, one per data member, in declaration order;
//   keywords  a tuple of Keyword: statement keywords whose position the
//             record keeps although no field holds their value (such as
//             the `NAD` keyword of a range);
// and, for records read from text, a member `positions` of the nested type
// `Positions`, whose first member `start` is where the record began.
template <class Record>
struct Description;

template <class Record>
concept described_record = requires { Description<Record>::name; };

template <class Record>
concept positioned_record = described_record<Record> && requires(const Record& record) {
    { record.positions.start } -> std::convertible_to<SourcePosition>;
};

// The position a field has when the record keeps none for it: a sub-record
// (which has its own), or a value the text does not give.
struct NoPosition {};

template <class Record, class Value, class Position>
struct Field {
    using record_type = Record;
    using value_type = Value;

    std::string_view name;
    Value Record::* member;
    // Where the field's value was read: a SourcePosition member of
    // Record::Positions, a vector of them (one per item of a list), or
    // NoPosition.
    Position position;
    std::string_view doc;
    bool shown_in_repr = false;

    constexpr const Value& of(const Record& record) const { return record.*member; }
};

template <class Record, class Value, class Position>
constexpr Field<Record, Value, Position> field(std::string_view name, Value Record::* member,
                                               Position position, std::string_view doc) {
    return {name, member, position, doc, false};
}

template <class Record, class Value>
constexpr Field<Record, Value, NoPosition> field(std::string_view name, Value Record::* member,
                                                 std::string_view doc) {
    return {name, member, NoPosition{}, doc, false};
}

// A field that the record's one-line text representation shows.
template <class Record, class Value, class Position>
constexpr Field<Record, Value, Position> shown(Field<Record, Value, Position> described) {
    described.shown_in_repr = true;
    return described;
}

template <class Positions>
struct Keyword {
    std::string_view name;  // the keyword as written
    SourcePosition Positions::* member;
};

template <class Record, class Function>
constexpr void for_each_field(Function&& function) {
    std::apply([&](const auto&... fields) { (function(fields), ...); }, Description<Record>::fields);
}

template <class Record>
constexpr std::size_t field_count() {
    return std::tuple_size_v<std::remove_cvref_t<decltype(Description<Record>::fields)>>;
}

// --- kinds of field values ----------------------------------------------------

template <class T>
struct is_optional : std::false_type {};
template <class T>
struct is_optional<std::optional<T>> : std::true_type {};

template <class T>
struct is_list : std::false_type {};
template <class T>
struct is_list<std::vector<T>> : std::true_type {};

// --- positions by name --------------------------------------------------------

namespace detail {

[[noreturn]] inline void no_such_position(std::string_view record, std::string_view name) {
    throw std::invalid_argument(std::string(record) + " has no field or keyword named '" + std::string(name) +
                                "'");
}

[[noreturn]] inline void index_needed(std::string_view record, std::string_view name) {
    throw std::invalid_argument(std::string(record) + "." + std::string(name) +
                                " is a list: give the index of one of its items");
}

[[noreturn]] inline void index_not_wanted(std::string_view record, std::string_view name) {
    throw std::invalid_argument(std::string(record) + "." + std::string(name) +
                                " is not a list: it takes no index");
}

[[noreturn]] inline void index_out_of_range(std::string_view record, std::string_view name, std::size_t index,
                                            std::size_t size) {
    throw std::out_of_range(std::string(record) + "." + std::string(name) + " has " + std::to_string(size) +
                            " items; there is no item " + std::to_string(index));
}

inline std::optional<SourcePosition> if_known(SourcePosition position) {
    return position.known() ? std::optional(position) : std::nullopt;
}

template <class Value>
std::optional<SourcePosition> start_of(const Value& value) {
    if constexpr (is_optional<Value>::value) {
        return value ? start_of(*value) : std::nullopt;
    } else if constexpr (positioned_record<Value>) {
        return if_known(value.positions.start);
    } else {
        return std::nullopt;
    }
}

template <class Field>
std::optional<SourcePosition> field_position(const typename Field::record_type& record,
                                             const Field& described, std::optional<std::size_t> index) {
    using Record = typename Field::record_type;
    using Value = typename Field::value_type;
    using Position = decltype(described.position);
    const Value& value = described.of(record);
    if constexpr (is_list<Value>::value) {
        if (!index) {
            index_needed(Description<Record>::name, described.name);
        }
        if (*index >= value.size()) {
            index_out_of_range(Description<Record>::name, described.name, *index, value.size());
        }
        if constexpr (std::is_same_v<Position, NoPosition>) {
            return start_of(value[*index]);  // a list of records
        } else {
            const std::vector<SourcePosition>& items = record.positions.*described.position;
            return *index < items.size() ? if_known(items[*index]) : std::nullopt;
        }
    } else {
        if (index) {
            index_not_wanted(Description<Record>::name, described.name);
        }
        if constexpr (std::is_same_v<Position, NoPosition>) {
            return start_of(value);
        } else if constexpr (is_optional<Value>::value) {
            // An absent value has no position, even one it would share.
            return value ? if_known(record.positions.*described.position) : std::nullopt;
        } else {
            return if_known(record.positions.*described.position);
        }
    }
}

}  // namespace detail

// Where the value of the field `name` was read (for a list, the item at
// `index`); for a sub-record, where it began; for the spelling of a keyword
// the record lists in its description, where that keyword stood. Empty when
// the text did not provide it. Throws std::invalid_argument for a name the
// record does not have, a list without an index or an index for a value,
// and std::out_of_range for an index past the end of the list.
template <described_record Record>
std::optional<SourcePosition> position_of(const Record& record, std::string_view name,
                                          std::optional<std::size_t> index = std::nullopt) {
    std::optional<SourcePosition> found;
    bool named = false;
    for_each_field<Record>([&](const auto& described) {
        if (!named && described.name == name) {
            named = true;
            found = detail::field_position(record, described, index);
        }
    });
    if constexpr (requires { Description<Record>::keywords; }) {
        const auto try_keyword = [&](const auto& keyword) {
            if (!named && keyword.name == name) {
                named = true;
                if (index) {
                    detail::index_not_wanted(Description<Record>::name, name);
                }
                found = detail::if_known(record.positions.*keyword.member);
            }
        };
        std::apply([&](const auto&... keywords) { (try_keyword(keywords), ...); },
                   Description<Record>::keywords);
    }
    if (!named) {
        detail::no_such_position(Description<Record>::name, name);
    }
    return found;
}

// --- walking a tree -------------------------------------------------------------

// Calls visit(record) for `record` and then, depth first in field order, for
// every record below it.
template <described_record Record, class Visit>
void for_each_record(const Record& record, Visit&& visit) {
    visit(record);
    for_each_field<Record>([&](const auto& described) {
        using Value = typename std::remove_cvref_t<decltype(described)>::value_type;
        const Value& value = described.of(record);
        if constexpr (described_record<Value>) {
            for_each_record(value, visit);
        } else if constexpr (is_optional<Value>::value) {
            if constexpr (described_record<typename Value::value_type>) {
                if (value) {
                    for_each_record(*value, visit);
                }
            }
        } else if constexpr (is_list<Value>::value) {
            if constexpr (described_record<typename Value::value_type>) {
                for (const auto& item : value) {
                    for_each_record(item, visit);
                }
            }
        }
    });
}

// Calls visit(name, position) for every position the record keeps itself:
// its start (named "start"), each positioned field, each item of a
// positioned list, and each keyword. Sub-records keep their own.
template <positioned_record Record, class Visit>
void for_each_position(const Record& record, Visit&& visit) {
    visit(std::string_view("start"), record.positions.start);
    for_each_field<Record>([&](const auto& described) {
        using Position = std::remove_cvref_t<decltype(described.position)>;
        if constexpr (std::is_same_v<Position, SourcePosition Record::Positions::*>) {
            visit(described.name, record.positions.*described.position);
        } else if constexpr (!std::is_same_v<Position, NoPosition>) {
            for (const SourcePosition& item : record.positions.*described.position) {
                visit(described.name, item);
            }
        }
    });
    if constexpr (requires { Description<Record>::keywords; }) {
        std::apply(
            [&](const auto&... keywords) { (visit(keywords.name, record.positions.*keywords.member), ...); },
            Description<Record>::keywords);
    }
}

// --- the description matches the record --------------------------------------

namespace detail {

// Converts to anything, so that T{any_value{}, ...} compiles exactly when T
// has at least that many members.
struct any_value {
    template <class T>
    operator T&() const&& noexcept;
    template <class T>
    operator T&&() const&& noexcept;
};

template <std::size_t>
using any_value_for = any_value;

template <class T, std::size_t... I>
constexpr bool initializable_with(std::index_sequence<I...>) {
    return requires { T{any_value_for<I>{}...}; };
}

template <class T, std::size_t count = 0>
constexpr std::size_t member_count() {
    if constexpr (initializable_with<T>(std::make_index_sequence<count + 1>{})) {
        return member_count<T, count + 1>();
    } else {
        return count;
    }
}

template <class Record>
constexpr std::size_t keyword_count() {
    if constexpr (requires { Description<Record>::keywords; }) {
        return std::tuple_size_v<std::remove_cvref_t<decltype(Description<Record>::keywords)>>;
    } else {
        return 0;
    }
}

// Members of Record::Positions that a field or a keyword refers to; `start`
// is not among them unless a field is read at the record's start.
template <class Record>
constexpr std::size_t distinct_positions_described() {
    using Positions = typename Record::Positions;
    std::size_t count = 1 + keyword_count<Record>();  // start
    for_each_field<Record>([&](const auto& described) {
        using Position = std::remove_cvref_t<decltype(described.position)>;
        if constexpr (std::is_same_v<Position, SourcePosition Positions::*>) {
            count += described.position != &Positions::start ? 1 : 0;
        } else if constexpr (!std::is_same_v<Position, NoPosition>) {
            count += 1;
        }
    });
    return count;
}

}  // namespace detail

// True when every data member of Record is in its description, and every
// member of its Positions is named by a field or a keyword. Each record's
// header asserts it, so a member added without its description does not
// compile.
template <described_record Record>
constexpr bool described_completely() {
    if constexpr (positioned_record<Record>) {
        return detail::member_count<Record>() == field_count<Record>() + 1 &&
               detail::member_count<typename Record::Positions>() ==
                   detail::distinct_positions_described<Record>();
    } else {
        return detail::member_count<Record>() == field_count<Record>();
    }
}

}  // namespace tolvane
