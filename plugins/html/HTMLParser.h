#pragma once
// The HTML parser and its tag tree: THTMLParser turns a text into TTagNodes under its Root;
// TTagNodeList is a flat list of node references with a search by tag name and occurrence.
//
// Node kinds (TTagNode::Kind):
//   0 cleared node, or "<!>"          TagName, Text empty
//   1 element                         TagName as written, Params its attribute lines
//   2 text                            TagName "PCDATA", Text the raw text (entities kept)
//   3 comment                         TagName "!", Text the trimmed inside
//   4 declaration / processing instr. TagName "!" + first word, Text the rest
//   5 CDATA section                   TagName "CDATA", Text the content

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "hierarchy.h"
#include "rtl/StringList.h"

namespace vemra {

namespace html {
class THTMLScanner;
class TTagNameTable;
}  // namespace html

class TTagNode : public THierarchyNode {
public:
    TTagNode() noexcept : THierarchyNode(true) {}
    THierarchyNode* Create() const override;

    // The node as a TTagNode; nullptr for nullptr or a node of another class.
    static TTagNode* FromNode(THierarchyNode* node) noexcept {
        return node != nullptr && node->tagNode_ ? static_cast<TTagNode*>(node) : nullptr;
    }
    static const TTagNode* FromNode(const THierarchyNode* node) noexcept {
        return node != nullptr && node->tagNode_ ? static_cast<const TTagNode*>(node) : nullptr;
    }

    // The element needs no end tag: an empty element, or written with "/" before ">".
    bool Closed = false;

private:
    friend class html::THTMLScanner;
    using THierarchyNode::SetRawParams;
    static void LinkParent(THierarchyNode* node, THierarchyNode* parent) noexcept { node->SetParentLink(parent); }
    static void AdoptChildren(THierarchyNode* node, THierarchyNode* const* items, std::size_t n, TNodeArena& arena) {
        node->AdoptChildren(items, n, arena);
    }
};

enum TTagKind : std::int32_t {
    tkNone = 0,
    tkElement = 1,
    tkText = 2,
    tkComment = 3,
    tkDeclaration = 4,
    tkCData = 5,
};

class TTagNodeList;

// Typed forms of AddChild and GetChild (GetChild gives nullptr for a child that is not a
// TTagNode, and throws like THierarchyNode::GetChild for a bad index).
void AddChild(TTagNode* node, TTagNode* child);
TTagNode* GetChild(const TTagNode* node, int index);
// The texts of the text nodes at or under the node, in document order, joined as they are.
std::string GetNodeText(const THierarchyNode* node);
// Appends the tag nodes under node whose TagName equals name (ASCII case-insensitive; an
// empty name or "*" takes all), in document order.
void CollectTags(const THierarchyNode* node, std::string_view name, TTagNodeList* list);
// ClearTagList, then CollectTags; root itself is never in the result; a nullptr list does nothing.
void FindAllTags(const THierarchyNode* root, std::string_view name, TTagNodeList* list);

// References to nodes; it never owns or frees them.
class TTagNodeList {
public:
    TTagNodeList() = default;

    int TagListAdd(TTagNode* node);
    void TagListDelete(int index);  // an index outside the list is ignored
    void ClearTagList() noexcept {
        items_.clear();
        byName_.clear();
    }
    TTagNode* TagListItem(int index) const;  // nullptr outside the list
    int TagListCount() const noexcept { return static_cast<int>(items_.size()); }
    // The n-th entry (from 0) whose TagName equals name, ASCII case-insensitive; nullptr
    // when there are fewer. The first search for a name indexes the list by it, so walking
    // the occurrences of a tag costs one pass, not one pass per occurrence (a hostile page
    // with a million cells would otherwise stall a rate update). The index assumes that
    // listed nodes keep their tag names; adding, deleting or clearing drops it.
    TTagNode* FindTagByIndex(std::string_view name, std::int32_t n) const;

private:
    std::vector<TTagNode*> items_;
    mutable std::unordered_map<std::string, std::vector<TTagNode*>> byName_;  // lower-cased name
};

// The open elements of one parse: lower-case tag names with their nodes, top last. Names are
// kept once each, with the number of their open entries, so that Contains takes constant
// time however deep the stack.
class TStack {
public:
    TStack();
    ~TStack();
    TStack(const TStack&) = delete;
    TStack& operator=(const TStack&) = delete;

    void Push(std::string_view name, TTagNode* node);  // the name is kept lower-cased
    const std::string& Peek() const;  // empty when the stack is empty
    TTagNode* TopNode() const;        // nullptr when the stack is empty
    std::string Pop();                // empty when the stack is empty
    bool Contains(std::string_view name) const;  // compared lower-cased

    int Count() const noexcept { return static_cast<int>(entries_.size()); }
    bool Empty() const noexcept { return entries_.empty(); }
    // The name of entry index (0 is the bottom); throws std::out_of_range outside the stack.
    const std::string& Strings(int index) const;

private:
    friend class html::THTMLScanner;
    // The parser's mark of where the element's children begin in its list of children still
    // to be placed fills what would otherwise be padding: a deep page holds one entry per
    // open element.
    struct Entry {
        TTagNode* node;
        std::uint32_t id;
        std::uint32_t childrenStart;
    };

    // Fast paths for the parser, which has the name's id at hand.
    void PushId(std::uint32_t id, TTagNode* node, std::uint32_t childrenStart = 0);
    std::uint32_t TopId() const { return entries_.back().id; }
    std::uint32_t TopChildrenStart() const { return entries_.back().childrenStart; }
    bool ContainsId(std::uint32_t id) const;
    void Drop();

    std::unique_ptr<html::TTagNameTable> names_;
    std::vector<Entry> entries_;
};

// The structure of a parse as it goes, for readers that need no tree: the elements and texts
// that the parse would place, each under the innermost element still open, in document order.
// Each open element carries a mark of the sink's own choosing, told back with what lies in it,
// so that the sink needs no stack of its own.
class THTMLEventSink {
public:
    static constexpr std::uint32_t kNoMark = UINT32_MAX;  // the mark outside every element

    virtual ~THTMLEventSink() = default;
    // An element starts inside the element marked outer; open tells that it becomes the
    // innermost open element (it is not an empty element or written with "/" before ">").
    // The name is as written; the result is the element's mark while it is open.
    virtual std::uint32_t StartElement(std::string_view name, bool open, std::uint32_t outer) = 0;
    // The innermost open element, marked mark, ends (elements still open at the end of the
    // text get no call).
    virtual void EndElement(std::uint32_t mark) = 0;
    // A text, raw (entities kept), inside the element marked outer.
    virtual void Text(std::string_view raw, std::uint32_t outer) = 0;
};

// Scans text as ParseHTML does, telling sink instead of building a tree.
void ScanHTMLEvents(std::string_view text, THTMLEventSink& sink);

class THTMLParser;
using THTMLTagNotifyEvent = std::function<void(THTMLParser* sender, TTagNode* node)>;
using TSyntaxNotifyEvent = std::function<void(THTMLParser* sender, const std::string& text)>;

class THTMLParser {
public:
    THTMLParser();
    ~THTMLParser();
    THTMLParser(const THTMLParser&) = delete;
    THTMLParser& operator=(const THTMLParser&) = delete;

    // Parses the whole text into the tree under Root, replacing the last parse. Does
    // nothing while a parse runs (a call from an event handler).
    void ParseHTML(std::string_view text);
    // Frees every node of the last parse; does nothing while a parse runs.
    void ClearTree();

    TTagNode* Root() noexcept { return &root_; }
    const TTagNode* Root() const noexcept { return &root_; }
    bool Parsing() const noexcept { return parsing_; }

    // Membership of a tag name (compared lower-cased) in the three tag lists.
    static bool IsOptionalEndTag(std::string_view name);
    static bool IsBlockTag(std::string_view name);
    static bool IsEmptyTag(std::string_view name);

    THTMLTagNotifyEvent OnHTMLTag;        // an element is complete
    TSyntaxNotifyEvent OnSyntaxWarning;   // a syntax warning text

private:
    friend class html::THTMLScanner;

    TTagNode root_;
    bool parsing_ = false;
};

// Splits the inside of a start tag into its name and attribute lines (appended to list):
// `td class="a b" nowrap` gives the name td and the lines class=a b and nowrap.
void ParseTagAttributes(std::string_view inside, TStringList& list, std::string& name);

}  // namespace vemra
