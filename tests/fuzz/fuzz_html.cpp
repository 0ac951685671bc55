// Any bytes through the HTML parser, the tree walks and the entity decoder. Besides the
// sanitizers' findings, a broken tree invariant aborts the run. Each input is parsed twice,
// with event handlers (nodes join the tree at once) and without (children are linked when
// their element closes): both trees must be the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "html/HTMLParser.h"
#include "html/htmlmisc.h"

namespace {

using namespace vemra;

void Require(bool condition) {
    if (!condition) std::abort();
}

bool SameParams(const TStringList& a, const TStringList& b) {
    if (a.Count() != b.Count()) return false;
    for (int k = 0; k < a.Count(); ++k)
        if (a[k] != b[k]) return false;
    return true;
}

bool SameNode(const TTagNode& a, const TTagNode& b) {
    return a.Kind == b.Kind && a.TagName == b.TagName && a.Text == b.Text && a.Closed == b.Closed &&
           a.ChildCount() == b.ChildCount() && a.IndexInParent() == b.IndexInParent() && SameParams(a.Params(), b.Params());
}

// Invariants of one tree; returns its flat list.
void CheckTree(THTMLParser& parser, std::size_t size, TTagNodeList& all) {
    FindAllTags(parser.Root(), "*", &all);
    const int count = all.TagListCount();
    Require(static_cast<std::size_t>(count) <= size);
    std::size_t textBytes = 0;
    for (int k = 0; k < count; ++k) {
        const TTagNode* node = all.TagListItem(k);
        const THierarchyNode* parent = node->GetParent();
        Require(node->Kind >= tkNone && node->Kind <= tkCData);
        Require(parent != nullptr && node->IndexInParent() >= 0 && parent->GetChild(node->IndexInParent()) == node);
        if (node->Kind == tkText) {
            Require(!node->Text.empty() && node->ChildCount() == 0);
            textBytes += node->Text.size();
            DecodeEntities(node->Text);
        }
    }
    Require(GetNodeText(parser.Root()).size() == textBytes && textBytes <= size);

    const std::string name = count > 0 ? all.TagListItem(count - 1)->TagName.str() : std::string();
    if (!name.empty() && name != "*") {  // those two select every node
        TTagNodeList named;
        FindAllTags(parser.Root(), name, &named);
        Require(named.TagListCount() > 0 && all.FindTagByIndex(name, named.TagListCount() - 1) != nullptr);
        Require(all.FindTagByIndex(name, named.TagListCount()) == nullptr);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    THTMLParser watched;
    std::size_t events = 0;
    std::size_t warnings = 0;
    watched.OnHTMLTag = [&](THTMLParser* sender, TTagNode* node) {
        ++events;
        Require(sender->Parsing() && node->Kind == tkElement);
    };
    watched.OnSyntaxWarning = [&](THTMLParser*, const std::string& warning) {
        ++warnings;
        Require(warning.find("[Row:") != std::string::npos);
    };
    watched.ParseHTML(text);
    Require(!watched.Parsing() && warnings <= size);

    THTMLParser quiet;
    quiet.ParseHTML(text);

    TTagNodeList a;
    TTagNodeList b;
    CheckTree(watched, size, a);
    CheckTree(quiet, size, b);
    Require(a.TagListCount() == b.TagListCount() && events <= static_cast<std::size_t>(a.TagListCount()));
    for (int k = 0; k < a.TagListCount(); ++k) Require(SameNode(*a.TagListItem(k), *b.TagListItem(k)));

    TStringList lines;
    std::string tagName;
    ParseTagAttributes(text, lines, tagName);
    DecodeEntities(text);
    quiet.ClearTree();
    Require(quiet.Root()->ChildCount() == 0);
    return 0;
}
