#include "HTMLParser.h"

#include <array>
#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>

#include "NodeArena.h"

namespace vemra {
namespace {

constexpr std::string_view kOptionalEndTags = "|p|dt|dd|li|option|thead|tfoot|colgroup|tr|th|td|body|html|head|";
constexpr std::string_view kBlockTags =
    "|p|h1|h2|h3|h4|h5|h6|ul|ol|dir|menu|pre|dl|div|center|noscript|noframes|blockquote|form|isindex|hr|"
    "table|fieldset|address|";
constexpr std::string_view kEmptyTags = "|basefont|br|area|link|img|param|hr|input|col|frame|isindex|base|meta|";

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

void LowerInto(std::string_view s, std::string& out) {
    out.resize(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) out[i] = LowerAscii(s[i]);
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

// Whole names only: "|" + name + "|" must occur in the list text.
bool InTagList(std::string_view list, std::string_view lowerName) {
    if (lowerName.empty()) return false;
    std::string needle;
    needle.reserve(lowerName.size() + 2);
    needle += '|';
    needle += lowerName;
    needle += '|';
    return list.find(needle) != std::string_view::npos;
}

bool InTagListFolded(std::string_view list, std::string_view name) {
    std::string lower;
    LowerInto(name, lower);
    return InTagList(list, lower);
}

// Tag names are short: a plain loop beats a call to memcmp.
bool SameBytes(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && IsBlankOrControl(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlankOrControl(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view TrimRightView(std::string_view s) {
    while (!s.empty() && IsBlankOrControl(s.back())) s.remove_suffix(1);
    return s;
}

// ---- start tag words ----

bool IsAttrSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void StripTagBrackets(std::string_view& inside) {
    if (inside.size() > 1 && inside.front() == '<') inside.remove_prefix(1);
    if (inside.size() > 1 && inside.back() == '>') inside.remove_suffix(1);
}

// Splits the words of a start tag's inside. The first word goes to *name when name is given
// (and stopAtName ends the scan there, returning where the attribute lines begin); the other
// words are lines of *list.
std::size_t ScanTagWords(std::string_view t, std::string* name, TStringList* list, bool stopAtName) {
    std::string word;
    std::size_t piece = 0;
    bool inDouble = false;
    bool inSingle = false;
    auto flush = [&](std::size_t k) {
        word.append(t.substr(piece, k - piece));
        piece = k + 1;
    };
    auto store = [&]() {  // true when the word became the name
        if (word.empty()) return false;
        const bool isName = name != nullptr && name->empty();
        if (isName)
            *name = std::move(word);
        else
            list->Add(std::move(word));
        word.clear();
        return isName;
    };
    for (std::size_t k = 0; k < t.size(); ++k) {
        const char c = t[k];
        if (c == '"' && !inSingle) {
            flush(k);
            inDouble = !inDouble;
        } else if (c == '\'' && !inDouble) {
            flush(k);
            inSingle = !inSingle;
        } else if (inDouble || inSingle) {
            continue;
        } else if (c == '=') {
            word.append(t.substr(piece, k + 1 - piece));
            while (k + 1 < t.size() && IsAttrSpace(t[k + 1])) ++k;
            piece = k + 1;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            flush(k);
            if (store() && stopAtName) return k + 1;
        } else if (c == '\n') {
            flush(k);
        }
    }
    word.append(t.substr(piece));
    store();
    return t.size();
}

void BuildAttributeLines(std::string_view raw, TStringList& list) { ScanTagWords(raw, nullptr, &list, false); }

// The name of a start tag and the text of its attributes. Most tags are a plain name ended
// by a blank, taken straight from the input.
void SplitStartTag(std::string_view inside, std::string_view& name, std::string_view& rest, std::string& nameBuffer) {
    std::size_t k = 0;
    for (; k < inside.size(); ++k) {
        const char c = inside[k];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '\'' || c == '=') break;
    }
    if (k == inside.size()) {
        name = inside;
        rest = {};
        return;
    }
    const char c = inside[k];
    if (k > 0 && (c == ' ' || c == '\t' || c == '\r')) {
        name = inside.substr(0, k);
        rest = inside.substr(k + 1);
        return;
    }
    nameBuffer.clear();
    const std::size_t restStart = ScanTagWords(inside, &nameBuffer, nullptr, true);
    name = nameBuffer;
    rest = inside.substr(restStart);
}

// ---- stop characters of the scan ----

enum State : std::uint8_t { sText, sTag, sEndTag, sComment, sDeclaration, sDeclComment, sDeclSection };

constexpr std::uint8_t Bit(State s) { return static_cast<std::uint8_t>(1u << s); }

// For each byte, the states in which it does more than grow the segment.
constexpr std::array<std::uint8_t, 256> kStops = [] {
    std::array<std::uint8_t, 256> t{};
    t['<'] = Bit(sText) | Bit(sTag) | Bit(sEndTag) | Bit(sDeclaration);
    t['>'] = Bit(sText) | Bit(sTag) | Bit(sEndTag) | Bit(sComment) | Bit(sDeclaration) | Bit(sDeclComment);
    t['-'] = Bit(sDeclaration) | Bit(sDeclComment);
    t['['] = Bit(sDeclaration);
    t[']'] = Bit(sDeclSection);
    return t;
}();

enum TagFlags : std::uint8_t { fKnown = 1, fOptionalEnd = 2, fBlock = 4, fEmpty = 8 };

// ---- stack names ----

std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 32;
    x *= 0xbf58476d1ce4e5b9ull;
    x ^= x >> 31;
    x *= 0x94d049bb133111ebull;
    x ^= x >> 29;
    return x;
}

// A random seed keeps tag names chosen by a page from piling up in one hash slot.
std::uint64_t ProcessSeed() {
    static const std::uint64_t seed = [] {
        std::uint64_t v = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
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

// Tag names, compared lower-cased, mapped to small ids, with the number of open entries of
// each id. Short names, nearly all of them, are found through a small cache keyed by their
// bytes; the others through a hash table with a per-instance random seed.
class TStack::NameCounts {
public:
    static constexpr std::uint32_t kNone = 0xFFFF'FFFFu;

    NameCounts() : seed_(Mix(ProcessSeed() ^ reinterpret_cast<std::uintptr_t>(this))), slots_(16, 0) {}

    // The id of name; when it has none, a new one if insert, else kNone.
    std::uint32_t Find(std::string_view name, bool insert) {
        const std::uint64_t key = ShortKey(name);
        Recent* recent = nullptr;
        if (key != 0) {
            recent = &recent_[(key * 0x9E3779B97F4A7C15ull) >> 60];
            if (recent->key == key) return recent->id;
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

    const std::string& Name(std::uint32_t id) const { return entries_[id].name; }

    std::vector<std::uint32_t> open;  // by id

private:
    struct Entry {
        std::string name;
        std::uint64_t hash;
    };
    struct Recent {
        std::uint64_t key = 0;
        std::uint32_t id = 0;
    };

    // The lower-cased bytes of a name of 1 to 7 bytes with its size on top; 0 for others.
    static std::uint64_t ShortKey(std::string_view name) {
        if (name.empty() || name.size() > 7) return 0;
        std::uint64_t key = std::uint64_t{name.size()} << 56;
        for (std::size_t i = 0; i < name.size(); ++i)
            key |= std::uint64_t{static_cast<unsigned char>(LowerAscii(name[i]))} << (8 * i);
        return key;
    }

    std::uint64_t Hash(std::string_view s) const {
        std::uint64_t h = seed_ ^ (s.size() * 0x9E3779B97F4A7C15ull);
        std::size_t i = 0;
        for (; i + 8 <= s.size(); i += 8) {
            std::uint64_t w;
            std::memcpy(&w, s.data() + i, 8);
            h = Mix(h ^ w) + 0x9E3779B97F4A7C15ull;
        }
        std::uint64_t w = 0;
        for (std::size_t k = i; k < s.size(); ++k) w |= std::uint64_t{static_cast<unsigned char>(s[k])} << (8 * (k - i));
        return Mix(h ^ w);
    }

    std::uint32_t Lookup(std::string_view lower, std::uint64_t h) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t k = h & mask;; k = (k + 1) & mask) {
            const std::uint32_t v = slots_[k];
            if (v == 0) return kNone;
            const Entry& e = entries_[v - 1];
            if (e.hash == h && SameBytes(e.name, lower)) return v - 1;
        }
    }

    std::uint32_t Insert(std::uint64_t h) {
        const auto id = static_cast<std::uint32_t>(entries_.size());
        entries_.push_back({lower_, h});
        open.push_back(0);
        if (entries_.size() * 2 > slots_.size())
            Rehash(slots_.size() * 2);
        else
            Place(id);
        return id;
    }

    void Place(std::uint32_t id) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t k = entries_[id].hash & mask;
        while (slots_[k] != 0) k = (k + 1) & mask;
        slots_[k] = id + 1;
    }

    void Rehash(std::size_t size) {
        slots_.assign(size, 0);
        for (std::uint32_t id = 0; id < entries_.size(); ++id) Place(id);
    }

    std::uint64_t seed_;
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> slots_;  // id + 1; 0 is a free slot
    std::array<Recent, 16> recent_{};
    std::string lower_;
};

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
            if (all || SameTextAscii(tag->TagName, name)) list->TagListAdd(const_cast<TTagNode*>(tag));
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
    items_.push_back(node);
    return static_cast<int>(items_.size()) - 1;
}

void TTagNodeList::TagListDelete(int index) {
    if (index < 0 || index >= TagListCount()) return;
    items_.erase(items_.begin() + index);
}

TTagNode* TTagNodeList::TagListItem(int index) const {
    return index < 0 || index >= TagListCount() ? nullptr : items_[static_cast<std::size_t>(index)];
}

TTagNode* TTagNodeList::FindTagByIndex(std::string_view name, std::int32_t n) const {
    std::int32_t k = 0;
    for (TTagNode* node : items_) {
        if (node == nullptr || !SameTextAscii(node->TagName, name)) continue;
        if (k == n) return node;
        ++k;
    }
    return nullptr;
}

// ---- TStack ----

TStack::TStack() : names_(std::make_unique<NameCounts>()) {}

TStack::~TStack() = default;

void TStack::PushId(std::uint32_t id, TTagNode* node) {
    entries_.push_back({id, node});
    ++names_->open[id];
}

bool TStack::ContainsId(std::uint32_t id) const { return id != NameCounts::kNone && names_->open[id] > 0; }

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

// ---- the scan ----

class THTMLParser::Scanner {
public:
    Scanner(THTMLParser& parser, std::string_view text)
        : parser_(parser),
          s_(text),
          pId_(stack_.names_->Find("p", true)),
          deferred_(!parser.OnHTMLTag && !parser.OnSyntaxWarning) {}

    ~Scanner() {
        if (pending_.empty()) return;
        // An exception ended the scan: hand the nodes made so far to the tree.
        try {
            FinishAll();
        } catch (...) {
            for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
                TTagNode::LinkParent(*it, nullptr);
                delete *it;
            }
        }
    }

    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    void Run() {
        const char* s = s_.data();
        const std::size_t n = s_.size();
        std::size_t i = 0;
        while (i < n) {
            const std::uint8_t bit = Bit(state_);
            while (i < n && (kStops[static_cast<unsigned char>(s[i])] & bit) == 0) ++i;
            if (i == n) break;
            i = Step(i);
        }
        // A pending segment at the end is dropped; open elements stay as they are.
        FinishAll();
    }

private:
    char At(std::size_t i) const { return i < s_.size() ? s_[i] : '\0'; }
    std::string_view Segment(std::size_t end) const { return s_.substr(seg_, end - seg_); }

    std::size_t Step(std::size_t i) {
        switch (s_[i]) {
            case '<':
                return OnOpen(i);
            case '>':
                OnClose(i);
                break;
            case '-':
                OnDash(i);
                break;
            case '[':
                state_ = sDeclSection;
                break;
            case ']':
                if (At(i + 1) == '>') state_ = sDeclaration;
                break;
            default:
                break;
        }
        return i + 1;
    }

    std::size_t OnOpen(std::size_t i) {
        if (state_ == sTag) {
            Warn('<', i);
        } else {
            if (i > seg_) AddText(Segment(i));
            seg_ = i + 1;
            state_ = sTag;
        }
        // The character right after "<" may open a comment, a declaration or an end tag.
        const char next = At(i + 1);
        if (next != '!' && next != '?' && next != '/') return i + 1;
        seg_ = i + 2;
        if (next == '/')
            state_ = sEndTag;
        else if (next == '!' && At(i + 2) == '-' && At(i + 3) == '-')
            state_ = sComment;
        else
            state_ = sDeclaration;
        return i + 2;
    }

    void OnClose(std::size_t i) {
        switch (state_) {
            case sTag:
                CompleteStartTag(i);
                break;
            case sEndTag:
                CompleteEndTag(i);
                break;
            case sComment: {
                const std::string_view body = TrimRightView(Segment(i));
                if (body.size() < 2 || body.substr(body.size() - 2) != "--") return;
                AddComment(Segment(i));
                break;
            }
            case sDeclaration:
                AddDeclaration(Segment(i));
                break;
            default:  // text and comments inside a declaration keep the ">"
                Warn('>', i);
                return;
        }
        state_ = sText;
        seg_ = i + 1;
    }

    void OnDash(std::size_t i) {
        if (state_ == sDeclaration) {
            const char prev = i > 0 ? s_[i - 1] : '\0';
            if ((prev == '\t' || prev == '\n' || prev == '\r' || prev == ' ') && At(i + 1) == '-')
                state_ = sDeclComment;
        } else if (At(i + 1) == '-') {
            state_ = sDeclaration;
        }
    }

    // ---- nodes ----

    std::unique_ptr<TTagNode> NewNode(std::int32_t kind) {
        std::unique_ptr<TTagNode> node(arena_.New<TTagNode>());
        node->Kind = kind;
        return node;
    }

    // Without event handlers nobody looks at the tree before the parse ends, so the children
    // of the open elements wait in pending_ and each element gets its final list in one
    // block when it closes. With handlers, every node joins the tree at once.
    void Add(std::unique_ptr<TTagNode> node) {
        TTagNode* parent = stack_.Empty() ? &parser_.root_ : stack_.TopNode();
        if (deferred_) {
            pending_.push_back(node.get());
            TTagNode::LinkParent(node.get(), parent);
        } else {
            parent->AddChild(node.get());
        }
        node.release();
    }

    void Open(std::uint32_t id, TTagNode* node) {
        stack_.PushId(id, node);
        if (!deferred_) return;
        try {
            starts_.push_back(pending_.size());
        } catch (...) {
            stack_.Drop();
            throw;
        }
    }

    // Pops the top element.
    void Close() {
        if (deferred_) {
            Finish(stack_.TopNode(), starts_.back());
            starts_.pop_back();
        }
        stack_.Drop();
    }

    void Finish(THierarchyNode* node, std::size_t start) {
        TTagNode::AdoptChildren(node, pending_.data() + start, pending_.size() - start, arena_);
        pending_.resize(start);
    }

    void FinishAll() {
        if (!deferred_) return;
        while (!stack_.Empty()) Close();
        Finish(&parser_.root_, 0);
    }

    TTagNode* AddKept(std::unique_ptr<TTagNode> node) {
        TTagNode* raw = node.get();
        Add(std::move(node));
        return raw;
    }

    void AddText(std::string_view text) {
        auto node = NewNode(tkText);
        node->TagName = std::string_view("PCDATA");
        node->Text.Assign(text, arena_);
        Add(std::move(node));
    }

    void AddComment(std::string_view segment) {
        auto node = NewNode(tkComment);
        std::string_view t = TrimView(segment);
        if (t.starts_with("--")) {
            node->TagName = std::string_view("!");
            t.remove_prefix(2);
            if (t.ends_with("--")) t.remove_suffix(2);
            node->Text.Assign(TrimView(t), arena_);
        }
        Add(std::move(node));
    }

    void AddDeclaration(std::string_view segment) {
        auto node = NewNode(tkNone);
        const std::string_view t = TrimView(segment);
        if (t.starts_with("[CDATA")) {
            node->Kind = tkCData;
            node->TagName = std::string_view("CDATA");
            const std::string_view body = TrimView(t.size() >= 8 ? t.substr(6, t.size() - 8) : std::string_view());
            if (!body.empty()) node->Text.Assign(body.substr(1), arena_);
        } else if (!t.empty()) {
            node->Kind = tkDeclaration;
            const std::size_t blank = t.find(' ');
            std::string name = "!";
            name += t.substr(0, blank);
            node->TagName.Assign(name, arena_);
            if (blank != std::string_view::npos) node->Text.Assign(t.substr(blank + 1), arena_);
        }
        Add(std::move(node));
    }

    std::uint8_t FlagsOf(std::uint32_t id) {
        if (id >= flags_.size()) flags_.resize(id + 1, 0);
        std::uint8_t& f = flags_[id];
        if (f == 0) {
            const std::string& lower = stack_.names_->Name(id);
            f = fKnown;
            if (InTagList(kOptionalEndTags, lower)) f |= fOptionalEnd;
            if (InTagList(kBlockTags, lower)) f |= fBlock;
            if (InTagList(kEmptyTags, lower)) f |= fEmpty;
        }
        return f;
    }

    void CompleteStartTag(std::size_t i) {
        const bool selfClosed = i > seg_ && s_[i - 1] == '/';
        std::string_view inside = Segment(selfClosed ? i - 1 : i);
        StripTagBrackets(inside);
        std::string_view name;
        std::string_view rest;
        SplitStartTag(inside, name, rest, nameBuffer_);

        auto node = NewNode(tkElement);
        node->TagName.Assign(name, arena_);
        if (!rest.empty()) node->SetRawParams(rest, &BuildAttributeLines, &arena_);

        const std::uint32_t id = stack_.names_->Find(name, true);
        const std::uint8_t flags = FlagsOf(id);
        if (!stack_.Empty()) {
            const std::uint32_t top = stack_.TopId();
            if (top == id) {
                if (flags & fOptionalEnd) Close();
            } else if (top == pId_ && (flags & fBlock)) {
                Close();
            }
        }
        TTagNode* added = AddKept(std::move(node));
        if ((flags & fEmpty) || selfClosed) {
            added->Closed = true;
            Fire(added);
        } else {
            Open(id, added);
        }
    }

    void CompleteEndTag(std::size_t i) {
        const std::string_view name = Segment(i);
        const std::uint32_t id = stack_.names_->Find(name, false);
        if (!stack_.ContainsId(id)) {
            WarnEndTag(name, i);
            return;
        }
        for (;;) {
            const bool match = stack_.TopId() == id;
            Fire(stack_.TopNode());
            Close();
            if (match || stack_.Empty()) break;
        }
    }

    void Fire(TTagNode* node) {
        if (parser_.OnHTMLTag) parser_.OnHTMLTag(&parser_, node);
    }

    // ---- warnings ----

    // Row and column of position pos: a line feed, or a column past 256, starts a new row.
    // Worked out only when a warning is wanted, from where the last one left off.
    std::string Where(std::size_t pos) {
        constexpr std::uint64_t kRowWidth = 257;
        while (cpPos_ < pos) {
            const void* lf = std::memchr(s_.data() + cpPos_, '\n', pos - cpPos_);
            const std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - s_.data()) : pos;
            const std::uint64_t t = cpCol_ - 1 + (end - cpPos_);
            cpRow_ += t / kRowWidth;
            cpCol_ = t % kRowWidth + 1;
            cpPos_ = end;
            if (lf != nullptr) {
                ++cpRow_;
                cpCol_ = 1;
                ++cpPos_;
            }
        }
        return " [Row:" + std::to_string(cpRow_) + ",Col:" + std::to_string(cpCol_) + "]";
    }

    void Warn(char c, std::size_t pos) {
        if (!parser_.OnSyntaxWarning) return;
        std::string text = "Unexpected \"";
        text += c;
        text += "\" encountered";
        text += Where(pos);
        parser_.OnSyntaxWarning(&parser_, text);
    }

    void WarnEndTag(std::string_view name, std::size_t pos) {
        if (!parser_.OnSyntaxWarning) return;
        std::string text = "End tag found without matching start tag: ";
        text += name;
        text += Where(pos);
        parser_.OnSyntaxWarning(&parser_, text);
    }

    THTMLParser& parser_;
    std::string_view s_;
    TNodeArena arena_;
    TStack stack_;
    std::uint32_t pId_;
    std::vector<std::uint8_t> flags_;  // TagFlags by stack name id
    bool deferred_;
    std::vector<THierarchyNode*> pending_;  // children not yet in their parent's list
    std::vector<std::size_t> starts_;       // where each open element's children begin in pending_
    std::string nameBuffer_;
    std::size_t seg_ = 0;
    State state_ = sText;
    std::size_t cpPos_ = 0;
    std::uint64_t cpRow_ = 1;
    std::uint64_t cpCol_ = 1;
};

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
    Scanner(*this, text).Run();
}

void THTMLParser::ClearTree() {
    // An event handler must not free the nodes that the running parse still holds.
    if (!parsing_) root_.ClearNode();
}

bool THTMLParser::IsOptionalEndTag(std::string_view name) { return InTagListFolded(kOptionalEndTags, name); }
bool THTMLParser::IsBlockTag(std::string_view name) { return InTagListFolded(kBlockTags, name); }
bool THTMLParser::IsEmptyTag(std::string_view name) { return InTagListFolded(kEmptyTags, name); }

void ParseTagAttributes(std::string_view inside, TStringList& list, std::string& name) {
    name.clear();
    StripTagBrackets(inside);
    ScanTagWords(inside, &name, &list, false);
}

}  // namespace vemra
