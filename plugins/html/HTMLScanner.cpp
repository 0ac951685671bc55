#include "HTMLScanner.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "HTMLParser.h"
#include "HtmlText.h"
#include "NodeArena.h"
#include "TagNameTable.h"
#include "TagSyntax.h"

namespace vemra::html {
namespace {

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

}  // namespace

class THTMLScanner {
public:
    THTMLScanner(THTMLParser& parser, std::string_view text, THTMLEventSink* sink = nullptr)
        : parser_(parser),
          s_(text),
          pId_(stack_.names_->Find("p", true)),
          deferred_(sink == nullptr && !parser.OnHTMLTag && !parser.OnSyntaxWarning),
          sink_(sink) {}

    ~THTMLScanner() {
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

    THTMLScanner(const THTMLScanner&) = delete;
    THTMLScanner& operator=(const THTMLScanner&) = delete;

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
            if (i > 0 && IsTagSpace(s_[i - 1]) && At(i + 1) == '-')
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
    TTagNode* Add(std::unique_ptr<TTagNode> node) {
        TTagNode* parent = stack_.Empty() ? &parser_.root_ : stack_.TopNode();
        if (deferred_) {
            pending_.push_back(node.get());
            TTagNode::LinkParent(node.get(), parent);
        } else {
            parent->AddChild(node.get());
        }
        return node.release();
    }

    void Open(std::uint32_t id, TTagNode* node) {
        // Every pending child came from at least one byte of the text, so only a text of
        // more than 4 GB could pass this.
        if (pending_.size() > UINT32_MAX) throw std::length_error("too many nodes");
        stack_.PushId(id, node, static_cast<std::uint32_t>(pending_.size()));
    }

    // Without a tree the children's mark of an entry holds the sink's mark of the element.
    std::uint32_t OuterMark() const { return stack_.Empty() ? THTMLEventSink::kNoMark : stack_.TopChildrenStart(); }

    void CloseTop() {
        if (sink_ != nullptr) sink_->EndElement(stack_.TopChildrenStart());
        if (deferred_) Finish(stack_.TopNode(), stack_.TopChildrenStart());
        stack_.Drop();
    }

    void Finish(THierarchyNode* node, std::size_t start) {
        TTagNode::AdoptChildren(node, pending_.data() + start, pending_.size() - start, arena_);
        pending_.resize(start);
    }

    void FinishAll() {
        if (!deferred_) return;
        while (!stack_.Empty()) CloseTop();
        Finish(&parser_.root_, 0);
    }

    void AddText(std::string_view text) {
        if (sink_ != nullptr) {
            sink_->Text(text, OuterMark());
            return;
        }
        auto node = NewNode(tkText);
        node->TagName = std::string_view("PCDATA");
        node->Text.Assign(text, arena_);
        Add(std::move(node));
    }

    void AddComment(std::string_view segment) {
        if (sink_ != nullptr) return;
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
        if (sink_ != nullptr) return;
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
            if (InTagList(TTagList::OptionalEnd, lower)) f |= fOptionalEnd;
            if (InTagList(TTagList::Block, lower)) f |= fBlock;
            if (InTagList(TTagList::Empty, lower)) f |= fEmpty;
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

        const std::uint32_t id = stack_.names_->Find(name, true);
        const std::uint8_t flags = FlagsOf(id);
        if (!stack_.Empty()) {
            const std::uint32_t top = stack_.TopId();
            if (top == id) {
                if (flags & fOptionalEnd) CloseTop();
            } else if (top == pId_ && (flags & fBlock)) {
                CloseTop();
            }
        }
        if (sink_ != nullptr) {
            // No node is made: the stack keeps the element's name alone.
            const bool open = !(flags & fEmpty) && !selfClosed;
            const std::uint32_t mark = sink_->StartElement(name, open, OuterMark());
            if (open) stack_.PushId(id, nullptr, mark);
            return;
        }
        auto node = NewNode(tkElement);
        node->TagName.Assign(name, arena_);
        if (!rest.empty()) node->SetRawParams(rest, &BuildAttributeLines, &arena_);
        TTagNode* added = Add(std::move(node));
        if ((flags & fEmpty) || selfClosed) {
            added->Closed = true;
            Fire(added);
        } else {
            Open(id, added);
        }
    }

    void CompleteEndTag(std::size_t i) {
        const std::string_view name = Segment(i);
        const std::uint64_t key = TTagNameTable::ShortKey(name);
        if (key != 0 && !stack_.Empty() && stack_.names_->Key(stack_.TopId()) == key) {
            Fire(stack_.TopNode());  // the usual case: the innermost element ends
            CloseTop();
            return;
        }
        const std::uint32_t id = stack_.names_->Find(name, key, false);
        if (!stack_.ContainsId(id)) {
            WarnEndTag(name, i);
            return;
        }
        for (;;) {
            const bool match = stack_.TopId() == id;
            Fire(stack_.TopNode());
            CloseTop();
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
    THTMLEventSink* sink_;
    std::vector<THierarchyNode*> pending_;  // children not yet in their parent's list
    std::string nameBuffer_;
    std::size_t seg_ = 0;
    State state_ = sText;
    std::size_t cpPos_ = 0;
    std::uint64_t cpRow_ = 1;
    std::uint64_t cpCol_ = 1;
};

void ScanHTML(THTMLParser& parser, std::string_view text) { THTMLScanner(parser, text).Run(); }

void ScanHTML(std::string_view text, THTMLEventSink& sink) {
    THTMLParser parser;
    THTMLScanner(parser, text, &sink).Run();
}

}  // namespace vemra::html
