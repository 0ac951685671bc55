#pragma once
// The string types of a tree node. A page parses into millions of nodes, so these are small:
// TNodeString (a node's Text) is 16 bytes and holds up to 15 bytes in place (table cells,
// line breaks); TNodeName (its TagName) is 8 bytes and holds up to 7 in place ("PCDATA",
// "td"). Longer ones take one exact-size heap block. Both read as a std::string_view and
// compare with strings directly.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

namespace vemra {

class TNodeArena;

// The heap form keeps its size in the low seven bytes of a little-endian word.
static_assert(std::endian::native == std::endian::little);

class TNodeString {
public:
    TNodeString() noexcept { SetInlineSize(0); }
    explicit TNodeString(std::string_view s) { Init(s); }
    TNodeString(const TNodeString& other) { Init(other.View()); }
    TNodeString(TNodeString&& other) noexcept;
    ~TNodeString() { Release(); }

    TNodeString& operator=(const TNodeString& other);
    TNodeString& operator=(TNodeString&& other) noexcept;
    TNodeString& operator=(std::string_view s);
    TNodeString& operator=(const std::string& s) { return *this = std::string_view(s); }
    TNodeString& operator=(const char* s) { return *this = std::string_view(s); }
    // As operator=, with a long text's block taken from the arena (the parser's way).
    void Assign(std::string_view s, TNodeArena& arena);

    std::size_t size() const noexcept { return IsHeap() ? HeapSize() : kInline - raw_[kInline]; }
    bool empty() const noexcept { return size() == 0; }
    const char* data() const noexcept { return IsHeap() ? HeapPtr() : reinterpret_cast<const char*>(raw_); }
    const char* c_str() const noexcept { return data(); }  // always NUL-terminated
    std::string_view View() const noexcept { return {data(), size()}; }
    operator std::string_view() const noexcept { return View(); }
    std::string str() const { return std::string(View()); }
    void clear() noexcept;

    friend bool operator==(const TNodeString& a, const TNodeString& b) noexcept { return a.View() == b.View(); }
    friend bool operator==(const TNodeString& a, std::string_view b) noexcept { return a.View() == b; }
    friend bool operator==(const TNodeString& a, const char* b) noexcept { return a.View() == b; }
    friend bool operator==(const TNodeString& a, const std::string& b) noexcept { return a.View() == b; }
    friend std::ostream& operator<<(std::ostream& os, const TNodeString& s) { return os << s.View(); }

private:
    // raw_[15] is 15 - size for an in-place string (so a full one ends in its NUL), kHeapTag
    // or kArenaTag for one in a block of the heap or of a TNodeArena, whose pointer is in
    // bytes 0-7 and size in bytes 8-14.
    static constexpr std::size_t kInline = 15;
    static constexpr unsigned char kHeapTag = 0xFF;
    static constexpr unsigned char kArenaTag = 0xFE;

    bool IsHeap() const noexcept { return raw_[kInline] > kInline; }
    void SetBlock(char* p, std::size_t n, unsigned char tag) noexcept;
    void SetInlineSize(std::size_t n) noexcept {
        raw_[n] = 0;
        raw_[kInline] = static_cast<unsigned char>(kInline - n);
    }
    const char* HeapPtr() const noexcept {
        const char* p;
        std::memcpy(&p, raw_, sizeof p);
        return p;
    }
    std::size_t HeapSize() const noexcept {
        std::uint64_t v;
        std::memcpy(&v, raw_ + 8, sizeof v);
        return static_cast<std::size_t>(v & 0x00FF'FFFF'FFFF'FFFFull);
    }
    void Init(std::string_view s);
    void Release() noexcept {
        if (IsHeap()) FreeHeap();
    }
    void FreeHeap() noexcept;

    alignas(8) unsigned char raw_[16];
};

class TNodeName {
public:
    TNodeName() noexcept { SetInlineSize(0); }
    explicit TNodeName(std::string_view s) { Init(s); }
    TNodeName(const TNodeName& other) { Init(other.View()); }
    TNodeName(TNodeName&& other) noexcept;
    ~TNodeName() {
        if (IsHeap()) FreeHeap();
    }

    TNodeName& operator=(const TNodeName& other);
    TNodeName& operator=(TNodeName&& other) noexcept;
    TNodeName& operator=(std::string_view s);
    TNodeName& operator=(const std::string& s) { return *this = std::string_view(s); }
    TNodeName& operator=(const char* s) { return *this = std::string_view(s); }
    // As operator=, with a long name's block taken from the arena (the parser's way).
    void Assign(std::string_view s, TNodeArena& arena);

    std::size_t size() const noexcept { return IsHeap() ? HeapSize() : raw_[0] >> 1; }
    bool empty() const noexcept { return size() == 0; }
    const char* data() const noexcept { return IsHeap() ? HeapText() : reinterpret_cast<const char*>(raw_ + 1); }
    std::string_view View() const noexcept { return {data(), size()}; }
    operator std::string_view() const noexcept { return View(); }
    std::string str() const { return std::string(View()); }
    void clear() noexcept;

    friend bool operator==(const TNodeName& a, const TNodeName& b) noexcept { return a.View() == b.View(); }
    friend bool operator==(const TNodeName& a, std::string_view b) noexcept { return a.View() == b; }
    friend bool operator==(const TNodeName& a, const char* b) noexcept { return a.View() == b; }
    friend bool operator==(const TNodeName& a, const std::string& b) noexcept { return a.View() == b; }
    friend std::ostream& operator<<(std::ostream& os, const TNodeName& s) { return os << s.View(); }

private:
    // raw_[0] is size * 2 + 1 for an in-place name, whose bytes follow; otherwise the word
    // is a pointer (8-aligned) to the size and the bytes of the name, plus kArenaBit when
    // the block is a TNodeArena's.
    static constexpr std::size_t kInline = 7;
    static constexpr std::uintptr_t kArenaBit = 2;

    bool IsHeap() const noexcept { return (raw_[0] & 1) == 0; }
    void SetInlineSize(std::size_t n) noexcept { raw_[0] = static_cast<unsigned char>(n << 1 | 1); }
    std::uintptr_t Word() const noexcept {
        std::uintptr_t w;
        std::memcpy(&w, raw_, sizeof w);
        return w;
    }
    const unsigned char* HeapBlock() const noexcept {
        return reinterpret_cast<const unsigned char*>(Word() & ~(kArenaBit | 1));
    }
    std::size_t HeapSize() const noexcept {
        std::size_t n;
        std::memcpy(&n, HeapBlock(), sizeof n);
        return n;
    }
    const char* HeapText() const noexcept { return reinterpret_cast<const char*>(HeapBlock() + sizeof(std::size_t)); }
    void Init(std::string_view s);
    void FreeHeap() noexcept;

    alignas(8) unsigned char raw_[8];
};

}  // namespace vemra
