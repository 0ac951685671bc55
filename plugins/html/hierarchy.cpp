#include "hierarchy.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "NodeArena.h"

namespace vemra {
namespace {

[[noreturn]] void ThrowIndexError(int index) {
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace

// ---- TNodeChildren ----

struct TNodeChildren::Block {
    std::uint32_t cap;
    std::uint32_t inArena;  // the block is a TNodeArena's, which cannot grow it
};

namespace {

constexpr std::size_t kBlockHeader = 8;

THierarchyNode** BlockItems(void* block) {
    return reinterpret_cast<THierarchyNode**>(static_cast<unsigned char*>(block) + kBlockHeader);
}

std::size_t BlockBytes(std::size_t cap) { return kBlockHeader + cap * sizeof(THierarchyNode*); }

void* AllocBlock(void* old, std::size_t cap) {
    void* mem = std::realloc(old, BlockBytes(cap));
    if (mem == nullptr) throw std::bad_alloc();
    return mem;
}

}  // namespace

void TNodeChildren::FreeBlock() noexcept {
    if (many_->inArena)
        TNodeArena::Release(many_, BlockBytes(many_->cap));
    else
        std::free(many_);
}

THierarchyNode** TNodeChildren::Items() noexcept {
    return HasBlock() ? BlockItems(many_) : &one_;
}

void TNodeChildren::PushBack(THierarchyNode* child) {
    const std::uint32_t n = size_ & kSizeMask;
    if (n == kSizeMask) throw std::length_error("too many children");
    if (!HasBlock()) {
        if (n == 0) {
            one_ = child;
            size_ = 1;
            return;
        }
        THierarchyNode* first = one_;
        auto* block = static_cast<Block*>(AllocBlock(nullptr, 4));
        *block = {4, 0};
        BlockItems(block)[0] = first;
        many_ = block;
        size_ = 1 | kBlockFlag;
    } else if (n == many_->cap) {
        const std::uint32_t cap = n > kSizeMask / 2 ? kSizeMask : n * 2;
        Block* block;
        if (many_->inArena) {
            block = static_cast<Block*>(AllocBlock(nullptr, cap));
            std::memcpy(BlockItems(block), BlockItems(many_), n * sizeof(THierarchyNode*));
            FreeBlock();
        } else {
            block = static_cast<Block*>(AllocBlock(many_, cap));
        }
        *block = {cap, 0};
        many_ = block;
    }
    BlockItems(many_)[size_ & kSizeMask] = child;
    ++size_;
}

void TNodeChildren::Reset() noexcept {
    if (HasBlock()) FreeBlock();
    one_ = nullptr;
    size_ = 0;
}

void TNodeChildren::Adopt(THierarchyNode* const* items, std::size_t n, TNodeArena& arena) {
    if (n == 0) return;
    if (n > kSizeMask) throw std::length_error("too many children");
    if (HasBlock()) Reset();  // an emptied list may still hold its old block
    if (n == 1) {
        one_ = items[0];
        size_ = 1;
        return;
    }
    auto* block = static_cast<Block*>(arena.Allocate(BlockBytes(n)));
    *block = {static_cast<std::uint32_t>(n), 1};
    std::memcpy(BlockItems(block), items, n * sizeof(THierarchyNode*));
    many_ = block;
    size_ = static_cast<std::uint32_t>(n) | kBlockFlag;
}

void TNodeChildren::Erase(int index) noexcept {
    THierarchyNode** items = Items();
    const int n = size();
    std::memmove(items + index, items + index + 1, static_cast<std::size_t>(n - index - 1) * sizeof *items);
    --size_;
    if (!HasBlock()) one_ = nullptr;
}

void TNodeChildren::Move(int from, int to) noexcept {
    THierarchyNode** items = Items();
    THierarchyNode* moving = items[from];
    if (from < to)
        std::memmove(items + from, items + from + 1, static_cast<std::size_t>(to - from) * sizeof *items);
    else
        std::memmove(items + to + 1, items + to, static_cast<std::size_t>(from - to) * sizeof *items);
    items[to] = moving;
}

int TNodeChildren::ReverseFind(const THierarchyNode* child) const noexcept {
    THierarchyNode* const* items = Items();
    for (int i = size() - 1; i >= 0; --i)
        if (items[i] == child) return i;
    return -1;
}

// ---- TNodeParams ----

struct TNodeParams::Raw {
    Builder builder;
    std::size_t size;
};

namespace {

char* RawText(void* raw) { return static_cast<char*>(raw) + 2 * sizeof(std::size_t); }

const TStringList& EmptyList() {
    static const TStringList empty;
    return empty;
}

void FreeRaw(void* raw, std::size_t size, bool inArena) noexcept {
    if (inArena)
        TNodeArena::Release(raw, size);
    else
        std::free(raw);
}

}  // namespace

void TNodeParams::Free() noexcept {
    if (bits_ & kRawTag) {
        auto* r = reinterpret_cast<Raw*>(bits_ & ~(kRawTag | kArenaTag));
        FreeRaw(r, sizeof(Raw) + r->size, (bits_ & kArenaTag) != 0);
    } else {
        delete reinterpret_cast<TStringList*>(bits_);
    }
    bits_ = 0;
}

void TNodeParams::SetRaw(std::string_view raw, Builder builder, TNodeArena* arena) {
    static_assert(sizeof(Raw) == 2 * sizeof(std::size_t));
    Reset();
    if (raw.empty()) return;
    void* mem = arena != nullptr ? arena->Allocate(sizeof(Raw) + raw.size()) : std::malloc(sizeof(Raw) + raw.size());
    if (mem == nullptr) throw std::bad_alloc();
    auto* r = ::new (mem) Raw{builder, raw.size()};
    std::memcpy(RawText(r), raw.data(), raw.size());
    bits_ = reinterpret_cast<std::uintptr_t>(r) | kRawTag | (arena != nullptr ? kArenaTag : 0);
}

void TNodeParams::Build() const {
    if (!(bits_ & kRawTag)) return;
    auto* r = reinterpret_cast<Raw*>(bits_ & ~(kRawTag | kArenaTag));
    auto list = std::make_unique<TStringList>();
    r->builder(std::string_view(RawText(r), r->size), *list);
    FreeRaw(r, sizeof(Raw) + r->size, (bits_ & kArenaTag) != 0);
    bits_ = reinterpret_cast<std::uintptr_t>(list.release());
}

TStringList& TNodeParams::List() {
    Build();
    if (bits_ == 0) bits_ = reinterpret_cast<std::uintptr_t>(new TStringList());
    return *reinterpret_cast<TStringList*>(bits_);
}

const TStringList& TNodeParams::View() const {
    Build();
    return bits_ == 0 ? EmptyList() : *reinterpret_cast<const TStringList*>(bits_);
}

// ---- THierarchyNode ----

void* THierarchyNode::operator new(std::size_t size) { return TNodeArena::ForThisThread().Allocate(size); }

void* THierarchyNode::operator new(std::size_t size, TNodeArena& arena) { return arena.Allocate(size); }

void THierarchyNode::operator delete(void* node, std::size_t size) noexcept { TNodeArena::Release(node, size); }

void THierarchyNode::operator delete(void* node, TNodeArena&) noexcept {
    TNodeArena::Release(node, sizeof(THierarchyNode));
}

bool THierarchyNode::IsAncestorOf(const THierarchyNode* node) const noexcept {
    for (; node != nullptr; node = node->parent_)
        if (node == this) return true;
    return false;
}

void THierarchyNode::DetachFromParent() noexcept {
    if (parent_ == nullptr) return;
    const int k = parent_->children_.ReverseFind(this);
    if (k >= 0) parent_->children_.Erase(k);
    parent_ = nullptr;
}

void THierarchyNode::SetParent(THierarchyNode* newParent) {
    if (newParent == parent_ || newParent == this) return;
    // Only a node with children can be an ancestor of newParent.
    if (newParent != nullptr && !children_.empty() && IsAncestorOf(newParent)) return;
    if (newParent != nullptr) newParent->children_.PushBack(this);  // may throw: nothing moved yet
    DetachFromParent();
    parent_ = newParent;
}

THierarchyNode* THierarchyNode::GetChild(int index) const {
    if (index < 0 || index >= children_.size()) ThrowIndexError(index);
    return children_[index];
}

THierarchyNode* THierarchyNode::Create() const { return new THierarchyNode(); }

void THierarchyNode::AddChild(THierarchyNode* child) {
    if (child != nullptr) child->SetParent(this);
}

void THierarchyNode::InsertChild(int index, THierarchyNode* child) {
    AddChild(child);
    if (child != nullptr && child->parent_ == this) child->SetIndex(index);
}

THierarchyNode* THierarchyNode::AddNewChild(std::string_view text, std::int32_t data) {
    auto node = std::make_unique<THierarchyNode>();
    node->Text = text;
    node->Data = data;
    AddChild(node.get());
    return node.release();
}

void THierarchyNode::RemoveChild(THierarchyNode* child) {
    if (child != nullptr && child->parent_ == this) child->SetParent(nullptr);
}

int THierarchyNode::IndexInParent() const {
    return parent_ == nullptr ? -1 : parent_->children_.ReverseFind(this);
}

void THierarchyNode::SetIndex(int index) {
    if (parent_ == nullptr) return;
    const int current = IndexInParent();
    if (index == current) return;
    if (index < 0 || index >= parent_->children_.size()) ThrowIndexError(index);
    parent_->children_.Move(current, index);
}

void THierarchyNode::FreeChildren() {
    // Post-order from the last child, walking the tree's own links: no recursion and no
    // extra memory, whatever the depth.
    TNodeArena::Releaser released;
    THierarchyNode* node = this;
    for (;;) {
        // Parsed trees lie in memory in document order and are freed in reverse: fetching
        // ahead downwards keeps the walk from waiting on every node.
        __builtin_prefetch(reinterpret_cast<const char*>(node) - 1024);
        if (!node->children_.empty()) {
            node = node->children_.back();
            continue;
        }
        if (node == this) break;
        THierarchyNode* parent = node->parent_;
        parent->children_.PopBack();
        node->parent_ = nullptr;
        // What `delete node` does, with the chunk counts updated in batches.
        void* whole = dynamic_cast<void*>(node);
        node->~THierarchyNode();
        released.Add(whole, sizeof(THierarchyNode));
        node = parent;
    }
    children_.Reset();
}

void THierarchyNode::AdoptChildren(THierarchyNode* const* items, std::size_t n, TNodeArena& arena) {
    children_.Adopt(items, n, arena);
}

void THierarchyNode::ClearNode() {
    FreeChildren();
    params_.Reset();
    Text.clear();
    Kind = 0;
    Data = 0;
    DetachFromParent();
}

}  // namespace vemra
