#include "TagNameTable.h"

#include <chrono>
#include <cstring>
#include <random>

#include "HtmlText.h"

namespace vemra::html {
namespace {

constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ull;

std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 32;
    x *= 0xbf58476d1ce4e5b9ull;
    x ^= x >> 31;
    x *= 0x94d049bb133111ebull;
    x ^= x >> 29;
    return x;
}

std::uint64_t ProcessSeed() {
    static const std::uint64_t seed = [] {
        auto v = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        try {
            std::random_device rd;
            v ^= (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
        } catch (...) {
        }
        return v;
    }();
    return seed;
}

}  // namespace

TTagNameTable::TTagNameTable() : seed_(Mix(ProcessSeed() ^ reinterpret_cast<std::uintptr_t>(this))), slots_(16, 0) {}

std::uint64_t TTagNameTable::ShortKey(std::string_view name) {
    if (name.empty() || name.size() > 7) return 0;
    std::uint64_t key = std::uint64_t{name.size()} << 56;
    for (std::size_t i = 0; i < name.size(); ++i)
        key |= std::uint64_t{static_cast<unsigned char>(LowerAscii(name[i]))} << (8 * i);
    return key;
}

std::uint32_t TTagNameTable::Find(std::string_view name, std::uint64_t key, bool insert) {
    Recent* recent = nullptr;
    if (key != 0) {
        const std::size_t first = (key * kGolden) >> 58;
        for (std::size_t k = 0; k < 4; ++k) {
            Recent& r = recent_[(first + k) & 63];
            if (r.key == key) return r.id;
            if (r.key == 0 && recent == nullptr) recent = &r;
        }
        if (recent == nullptr) recent = &recent_[first];
    }
    LowerInto(name, lower_);
    const std::uint64_t h = Hash(lower_);
    std::uint32_t id = Lookup(lower_, h);
    if (id == kNone) {
        if (!insert) return kNone;
        id = Insert(h);
    }
    if (recent != nullptr) *recent = {key, id};
    return id;
}

std::uint64_t TTagNameTable::Hash(std::string_view s) const {
    std::uint64_t h = seed_ ^ (s.size() * kGolden);
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        h = Mix(h ^ w) + kGolden;
    }
    std::uint64_t w = 0;
    for (std::size_t k = i; k < s.size(); ++k) w |= std::uint64_t{static_cast<unsigned char>(s[k])} << (8 * (k - i));
    return Mix(h ^ w);
}

std::uint32_t TTagNameTable::Lookup(std::string_view lower, std::uint64_t h) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t k = h & mask;; k = (k + 1) & mask) {
        const std::uint32_t v = slots_[k];
        if (v == 0) return kNone;
        const Entry& e = entries_[v - 1];
        if (e.hash == h && e.name == lower) return v - 1;
    }
}

std::uint32_t TTagNameTable::Insert(std::uint64_t h) {
    const auto id = static_cast<std::uint32_t>(entries_.size());
    entries_.push_back({lower_, h, ShortKey(lower_)});
    open.push_back(0);
    if (entries_.size() * 2 > slots_.size()) {
        slots_.assign(slots_.size() * 2, 0);
        for (std::uint32_t k = 0; k < entries_.size(); ++k) Place(k);
    } else {
        Place(id);
    }
    return id;
}

void TTagNameTable::Place(std::uint32_t id) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t k = entries_[id].hash & mask;
    while (slots_[k] != 0) k = (k + 1) & mask;
    slots_[k] = id + 1;
}

}  // namespace vemra::html
