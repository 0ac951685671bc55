#pragma once
// THierarchyNode: a node of an ordered tree that owns its children.
//
// A node is deleted with `delete` (or held in a std::unique_ptr); deleting it detaches it
// from its parent and deletes its whole subtree without recursion, so a tree of any depth
// can be freed. Node lists elsewhere hold plain references and never own nodes.

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>

#include "NodeString.h"
#include "rtl/StringList.h"

namespace vemra {

class THierarchyNode;
class TNodeArena;
class TTagNode;

// The ordered children of a node: one child is held in place, more in a block of the heap
// (or, for a parsed node, of its arena).
class TNodeChildren {
public:
    TNodeChildren() noexcept : one_(nullptr) {}
    ~TNodeChildren() {
        if (HasBlock()) FreeBlock();
    }
    TNodeChildren(const TNodeChildren&) = delete;
    TNodeChildren& operator=(const TNodeChildren&) = delete;

    int size() const noexcept { return static_cast<int>(size_ & kSizeMask); }
    bool empty() const noexcept { return size() == 0; }
    THierarchyNode* const* begin() const noexcept { return Items(); }
    THierarchyNode* const* end() const noexcept { return Items() + size(); }
    THierarchyNode* operator[](int i) const noexcept { return Items()[i]; }
    THierarchyNode* back() const noexcept { return Items()[size() - 1]; }

private:
    friend class THierarchyNode;
    struct Block;
    static constexpr std::uint32_t kBlockFlag = 0x8000'0000u;
    static constexpr std::uint32_t kSizeMask = 0x7FFF'FFFFu;

    bool HasBlock() const noexcept { return (size_ & kBlockFlag) != 0; }
    void FreeBlock() noexcept;
    THierarchyNode** Items() noexcept;
    THierarchyNode* const* Items() const noexcept { return const_cast<TNodeChildren*>(this)->Items(); }
    void PushBack(THierarchyNode* child);
    // Empties the list and gives back its block.
    void Reset() noexcept;
    // Takes n children at once into an empty list, in one block from the arena.
    void Adopt(THierarchyNode* const* items, std::size_t n, TNodeArena& arena);
    void PopBack() noexcept { --size_; }
    void Erase(int index) noexcept;
    void Move(int from, int to) noexcept;
    int ReverseFind(const THierarchyNode* child) const noexcept;

    union {
        THierarchyNode* one_;
        Block* many_;
    };
    std::uint32_t size_ = 0;  // the high bit says many_ is in use
};

// The attribute lines of a node. The parser stores an element's raw attribute text and the
// list is built from it on first use: most elements of a page are never asked for theirs.
class TNodeParams {
public:
    using Builder = void (*)(std::string_view raw, TStringList& list);

    TNodeParams() noexcept = default;
    ~TNodeParams() { Reset(); }
    TNodeParams(const TNodeParams&) = delete;
    TNodeParams& operator=(const TNodeParams&) = delete;

    TStringList& List();              // creates the list when there is none
    const TStringList& View() const;  // a shared empty list when there is none
    bool Empty() const noexcept { return bits_ == 0; }
    // The block comes from the arena when one is given.
    void SetRaw(std::string_view raw, Builder builder, TNodeArena* arena = nullptr);
    void Reset() noexcept {
        if (bits_ != 0) Free();
    }

private:
    struct Raw;
    static constexpr std::uintptr_t kRawTag = 1;
    static constexpr std::uintptr_t kArenaTag = 2;
    void Build() const;
    void Free() noexcept;
    // 0, a TStringList*, or a Raw* tagged with kRawTag (and kArenaTag for an arena block).
    // Reading a node's Params builds the list, so two threads must not read one node at once.
    mutable std::uintptr_t bits_ = 0;
};

class THierarchyNode {
public:
    THierarchyNode() noexcept = default;
    virtual ~THierarchyNode() {
        if (parent_ != nullptr) DetachFromParent();
        if (!children_.empty()) FreeChildren();
    }
    THierarchyNode(const THierarchyNode&) = delete;
    THierarchyNode& operator=(const THierarchyNode&) = delete;

    // Nodes live in TNodeArena chunks: `new` takes the calling thread's arena, `new (arena)`
    // a given one; `delete` works for both. Derived classes keep these (freeing a subtree
    // hands every node's memory back to its chunk).
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, TNodeArena& arena);
    static void operator delete(void* node, std::size_t size) noexcept;
    static void operator delete(void* node, TNodeArena& arena) noexcept;

    virtual THierarchyNode* GetParent() const { return parent_; }
    // Moves the node to the end of newParent's children (nullptr detaches it). Nothing
    // happens when newParent is the current parent, the node itself or one of its
    // descendants (that would cut the subtree off the tree as a cycle).
    virtual void SetParent(THierarchyNode* newParent);
    // Child i; throws std::out_of_range ("List index out of bounds (%d)") outside 0..count-1.
    virtual THierarchyNode* GetChild(int index) const;
    // A new, empty node of the same class; the caller owns it.
    virtual THierarchyNode* Create() const;
    virtual void AddChild(THierarchyNode* child);
    // AddChild, then SetIndex(index) on the child (which throws for a bad index).
    virtual void InsertChild(int index, THierarchyNode* child);
    // Always a THierarchyNode, owned by this node.
    virtual THierarchyNode* AddNewChild(std::string_view text, std::int32_t data);
    // Detaches the child; the caller then owns it.
    virtual void RemoveChild(THierarchyNode* child);

    int ChildCount() const noexcept { return children_.size(); }
    const TNodeChildren& Children() const noexcept { return children_; }
    int IndexInParent() const;
    // Moves the node within its parent's children; throws std::out_of_range for a position
    // outside them.
    void SetIndex(int index);
    void FreeChildren();
    // Frees the children, empties Params and Text, sets Kind and Data to 0 and detaches
    // the node from its parent (which then no longer owns it). TagName is kept.
    void ClearNode();

    TStringList& Params() { return params_.List(); }
    const TStringList& Params() const { return params_.View(); }

private:
    friend class TTagNode;
    // For the parser, which links the nodes it makes itself: the node gets its parent (which
    // lists it later), or the finished list of its children.
    void SetParentLink(THierarchyNode* parent) noexcept { parent_ = parent; }
    void AdoptChildren(THierarchyNode* const* items, std::size_t n, TNodeArena& arena);
    void DetachFromParent() noexcept;
    bool IsAncestorOf(const THierarchyNode* node) const noexcept;

    THierarchyNode* parent_ = nullptr;
    [[no_unique_address]] TNodeChildren children_;

public:
    std::int32_t Kind = 0;
    TNodeName TagName;
    TNodeString Text;

protected:
    // For TTagNode, which marks its nodes so that a tree walk can tell them apart cheaply.
    explicit THierarchyNode(bool tagNode) noexcept : tagNode_(tagNode) {}
    // Attribute text of an element as the parser found it.
    void SetRawParams(std::string_view raw, TNodeParams::Builder builder, TNodeArena* arena) {
        params_.SetRaw(raw, builder, arena);
    }

private:
    TNodeParams params_;

public:
    std::int32_t Data = 0;

private:
    bool tagNode_ = false;
};

}  // namespace vemra
