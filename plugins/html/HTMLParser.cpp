#include "HTMLParser.h"

#include <stdexcept>
#include <string>

#include "HTMLScanner.h"
#include "TagNameTable.h"
#include "TagSyntax.h"
#include "rtl/SysUtils.h"

namespace vemra {

// ---- TTagNode and its helpers ----

// A page's tree is millions of these; keep them at 72 bytes.
static_assert(sizeof(TTagNode) <= 72);

THierarchyNode* TTagNode::Create() const { return new TTagNode(); }

void AddChild(TTagNode* node, TTagNode* child) {
    if (node != nullptr) node->AddChild(child);
}

TTagNode* GetChild(const TTagNode* node, int index) {
    return node == nullptr ? nullptr : TTagNode::FromNode(node->GetChild(index));
}

namespace {

// Pre-order walk with an explicit stack, so that depth costs heap, not call stack.
template <class Visit>
void WalkDescendants(const THierarchyNode* root, Visit visit) {
    struct Frame {
        const THierarchyNode* node;
        int next;
    };
    std::vector<Frame> frames;
    frames.push_back({root, 0});
    while (!frames.empty()) {
        Frame& top = frames.back();
        if (top.next == top.node->ChildCount()) {
            frames.pop_back();
            continue;
        }
        const THierarchyNode* child = top.node->Children()[top.next++];
        if (visit(child) && child->ChildCount() > 0) frames.push_back({child, 0});
    }
}

}  // namespace

std::string GetNodeText(const THierarchyNode* node) {
    std::string out;
    if (node == nullptr) return out;
    if (node->Kind == tkText) return node->Text.str();
    WalkDescendants(node, [&out](const THierarchyNode* child) {
        if (child->Kind != tkText) return true;
        out += child->Text.View();
        return false;
    });
    return out;
}

void CollectTags(const THierarchyNode* node, std::string_view name, TTagNodeList* list) {
    if (node == nullptr || list == nullptr) return;
    const bool all = name.empty() || name == "*";
    WalkDescendants(node, [&](const THierarchyNode* child) {
        if (const TTagNode* tag = TTagNode::FromNode(child))
            if (all || SameText(tag->TagName, name)) list->TagListAdd(const_cast<TTagNode*>(tag));
        return true;
    });
}

void FindAllTags(const THierarchyNode* root, std::string_view name, TTagNodeList* list) {
    if (list == nullptr) return;
    list->ClearTagList();
    CollectTags(root, name, list);
}

// ---- TTagNodeList ----

int TTagNodeList::TagListAdd(TTagNode* node) {
    byName_.clear();
    items_.push_back(node);
    return static_cast<int>(items_.size()) - 1;
}

void TTagNodeList::TagListDelete(int index) {
    if (index < 0 || index >= TagListCount()) return;
    byName_.clear();
    items_.erase(items_.begin() + index);
}

TTagNode* TTagNodeList::TagListItem(int index) const {
    return index < 0 || index >= TagListCount() ? nullptr : items_[static_cast<std::size_t>(index)];
}

TTagNode* TTagNodeList::FindTagByIndex(std::string_view name, std::int32_t n) const {
    if (n < 0) return nullptr;
    const std::string key = LowerCase(name);
    auto it = byName_.find(key);
    if (it == byName_.end()) {
        std::vector<TTagNode*> hits;
        for (TTagNode* node : items_)
            if (node != nullptr && SameText(node->TagName, key)) hits.push_back(node);
        it = byName_.emplace(key, std::move(hits)).first;
    }
    const std::vector<TTagNode*>& hits = it->second;
    return static_cast<std::size_t>(n) < hits.size() ? hits[static_cast<std::size_t>(n)] : nullptr;
}

// ---- TStack ----

TStack::TStack() : names_(std::make_unique<html::TTagNameTable>()) {}

TStack::~TStack() = default;

void TStack::PushId(std::uint32_t id, TTagNode* node, std::uint32_t childrenStart) {
    entries_.push_back({node, id, childrenStart});
    ++names_->open[id];
}

bool TStack::ContainsId(std::uint32_t id) const { return id != html::TTagNameTable::kNone && names_->open[id] > 0; }

void TStack::Drop() {
    --names_->open[entries_.back().id];
    entries_.pop_back();
}

void TStack::Push(std::string_view name, TTagNode* node) { PushId(names_->Find(name, true), node); }

const std::string& TStack::Strings(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    return names_->Name(entries_[static_cast<std::size_t>(index)].id);
}

const std::string& TStack::Peek() const {
    static const std::string empty;
    return Empty() ? empty : names_->Name(entries_.back().id);
}

TTagNode* TStack::TopNode() const { return Empty() ? nullptr : entries_.back().node; }

std::string TStack::Pop() {
    if (Empty()) return {};
    std::string name = Peek();
    Drop();
    return name;
}

bool TStack::Contains(std::string_view name) const { return ContainsId(names_->Find(name, false)); }

// ---- THTMLParser ----

THTMLParser::THTMLParser() = default;

THTMLParser::~THTMLParser() = default;

void THTMLParser::ParseHTML(std::string_view text) {
    if (parsing_) return;
    parsing_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{parsing_};
    root_.ClearNode();
    html::ScanHTML(*this, text);
}

void ScanHTMLEvents(std::string_view text, THTMLEventSink& sink) { html::ScanHTML(text, sink); }

void THTMLParser::ClearTree() {
    // An event handler must not free the nodes that the running parse still holds.
    if (!parsing_) root_.ClearNode();
}

namespace {

bool InTagListFolded(html::TTagList list, std::string_view name) { return html::InTagList(list, LowerCase(name)); }

}  // namespace

bool THTMLParser::IsOptionalEndTag(std::string_view name) { return InTagListFolded(html::TTagList::OptionalEnd, name); }
bool THTMLParser::IsBlockTag(std::string_view name) { return InTagListFolded(html::TTagList::Block, name); }
bool THTMLParser::IsEmptyTag(std::string_view name) { return InTagListFolded(html::TTagList::Empty, name); }

void ParseTagAttributes(std::string_view inside, TStringList& list, std::string& name) {
    name.clear();
    html::StripTagBrackets(inside);
    html::ScanTagWords(inside, &name, &list, false);
}

}  // namespace vemra
