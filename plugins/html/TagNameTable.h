#pragma once
// TTagNameTable: tag names, compared lower-cased, mapped to small ids, with the number of
// open elements of each id, for one parse. Short names, nearly all of them, are found
// through a small cache keyed by their bytes; the others through a hash table whose seed is
// random, so that the names a page chooses cannot pile up in one slot.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vemra::html {

class TTagNameTable {
public:
    static constexpr std::uint32_t kNone = 0xFFFF'FFFFu;

    TTagNameTable();

    // The id of name; when it has none, a new one if insert, else kNone.
    std::uint32_t Find(std::string_view name, bool insert) { return Find(name, ShortKey(name), insert); }
    std::uint32_t Find(std::string_view name, std::uint64_t key, bool insert);

    const std::string& Name(std::uint32_t id) const { return entries_[id].name; }
    std::uint64_t Key(std::uint32_t id) const { return entries_[id].key; }

    // The lower-cased bytes of a name of 1 to 7 bytes with its size on top; 0 for others.
    static std::uint64_t ShortKey(std::string_view name);

    std::vector<std::uint32_t> open;  // open elements, by id

private:
    struct Entry {
        std::string name;
        std::uint64_t hash;
        std::uint64_t key;
    };
    struct Recent {
        std::uint64_t key = 0;
        std::uint32_t id = 0;
    };

    std::uint64_t Hash(std::string_view s) const;
    std::uint32_t Lookup(std::string_view lower, std::uint64_t h) const;
    std::uint32_t Insert(std::uint64_t h);
    void Place(std::uint32_t id);

    std::uint64_t seed_;
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> slots_;  // id + 1; 0 is a free slot
    std::array<Recent, 64> recent_{};
    std::string lower_;
};

}  // namespace vemra::html
