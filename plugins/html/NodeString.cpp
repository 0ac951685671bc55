#include "NodeString.h"

#include <cstdlib>
#include <new>

#include "NodeArena.h"

namespace vemra {
namespace {

// Copies n <= 15 bytes, loading all before storing, so that the source may overlap the target.
void CopySmall(unsigned char* to, const char* from, std::size_t n) noexcept {
    if (n >= 8) {
        std::uint64_t a, b;
        std::memcpy(&a, from, 8);
        std::memcpy(&b, from + n - 8, 8);
        std::memcpy(to, &a, 8);
        std::memcpy(to + n - 8, &b, 8);
    } else if (n >= 4) {
        std::uint32_t a, b;
        std::memcpy(&a, from, 4);
        std::memcpy(&b, from + n - 4, 4);
        std::memcpy(to, &a, 4);
        std::memcpy(to + n - 4, &b, 4);
    } else if (n > 0) {
        const char a = from[0], b = from[n / 2], c = from[n - 1];
        to[0] = static_cast<unsigned char>(a);
        to[n / 2] = static_cast<unsigned char>(b);
        to[n - 1] = static_cast<unsigned char>(c);
    }
}

}  // namespace

void TNodeString::Init(std::string_view s) {
    const std::size_t n = s.size();
    if (n <= kInline) {
        CopySmall(raw_, s.data(), n);
        SetInlineSize(n);
        return;
    }
    if (n >= (std::size_t{1} << 56)) throw std::bad_alloc();
    char* p = static_cast<char*>(std::malloc(n + 1));
    if (p == nullptr) throw std::bad_alloc();
    std::memcpy(p, s.data(), n);
    p[n] = 0;
    SetBlock(p, n, kHeapTag);
}

void TNodeString::SetBlock(char* p, std::size_t n, unsigned char tag) noexcept {
    const std::uint64_t v = static_cast<std::uint64_t>(n) | (std::uint64_t{tag} << 56);
    std::memcpy(raw_, &p, sizeof p);
    std::memcpy(raw_ + 8, &v, sizeof v);
}

void TNodeString::Assign(std::string_view s, TNodeArena& arena) {
    const std::size_t n = s.size();
    if (n <= kInline || n >= (std::size_t{1} << 56)) {
        *this = s;
        return;
    }
    auto* p = static_cast<char*>(arena.Allocate(n + 1));
    std::memcpy(p, s.data(), n);
    p[n] = 0;
    Release();
    SetBlock(p, n, kArenaTag);
}

void TNodeString::FreeHeap() noexcept {
    if (raw_[kInline] == kArenaTag)
        TNodeArena::Release(const_cast<char*>(HeapPtr()), HeapSize() + 1);
    else
        std::free(const_cast<char*>(HeapPtr()));
}

TNodeString::TNodeString(TNodeString&& other) noexcept {
    std::memcpy(raw_, other.raw_, sizeof raw_);
    other.SetInlineSize(0);
}

TNodeString& TNodeString::operator=(const TNodeString& other) {
    if (this != &other) *this = other.View();
    return *this;
}

TNodeString& TNodeString::operator=(TNodeString&& other) noexcept {
    if (this != &other) {
        Release();
        std::memcpy(raw_, other.raw_, sizeof raw_);
        other.SetInlineSize(0);
    }
    return *this;
}


TNodeString& TNodeString::operator=(std::string_view s) {
    if (s.size() <= kInline && !IsHeap()) {
        CopySmall(raw_, s.data(), s.size());
        SetInlineSize(s.size());
        return *this;
    }
    // s may point into this string itself.
    TNodeString copy(s);
    return *this = std::move(copy);
}

void TNodeString::clear() noexcept {
    Release();
    SetInlineSize(0);
}

// ---- TNodeName ----

void TNodeName::Init(std::string_view s) {
    const std::size_t n = s.size();
    if (n <= kInline) {
        CopySmall(raw_ + 1, s.data(), n);
        SetInlineSize(n);
        return;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(sizeof(std::size_t) + n));
    if (block == nullptr) throw std::bad_alloc();
    std::memcpy(block, &n, sizeof n);
    std::memcpy(block + sizeof n, s.data(), n);
    std::memcpy(raw_, &block, sizeof block);
}

void TNodeName::Assign(std::string_view s, TNodeArena& arena) {
    const std::size_t n = s.size();
    if (n <= kInline) {
        *this = s;
        return;
    }
    auto* block = static_cast<unsigned char*>(arena.Allocate(sizeof(std::size_t) + n));
    std::memcpy(block, &n, sizeof n);
    std::memcpy(block + sizeof n, s.data(), n);
    clear();
    const std::uintptr_t word = reinterpret_cast<std::uintptr_t>(block) | kArenaBit;
    std::memcpy(raw_, &word, sizeof word);
}

void TNodeName::FreeHeap() noexcept {
    auto* block = const_cast<unsigned char*>(HeapBlock());
    if (Word() & kArenaBit)
        TNodeArena::Release(block, sizeof(std::size_t) + HeapSize());
    else
        std::free(block);
}

TNodeName::TNodeName(TNodeName&& other) noexcept {
    std::memcpy(raw_, other.raw_, sizeof raw_);
    other.SetInlineSize(0);
}

TNodeName& TNodeName::operator=(const TNodeName& other) {
    if (this != &other) *this = other.View();
    return *this;
}

TNodeName& TNodeName::operator=(TNodeName&& other) noexcept {
    if (this != &other) {
        if (IsHeap()) FreeHeap();
        std::memcpy(raw_, other.raw_, sizeof raw_);
        other.SetInlineSize(0);
    }
    return *this;
}

TNodeName& TNodeName::operator=(std::string_view s) {
    if (s.size() <= kInline && !IsHeap()) {
        CopySmall(raw_ + 1, s.data(), s.size());
        SetInlineSize(s.size());
        return *this;
    }
    TNodeName copy(s);  // s may point into this name itself
    return *this = std::move(copy);
}

void TNodeName::clear() noexcept {
    if (IsHeap()) FreeHeap();
    SetInlineSize(0);
}

}  // namespace vemra
