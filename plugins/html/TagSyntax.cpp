#include "TagSyntax.h"

#include "HtmlText.h"

namespace vemra::html {
namespace {

constexpr std::string_view kOptionalEndTags = "|p|dt|dd|li|option|thead|tfoot|colgroup|tr|th|td|body|html|head|";
constexpr std::string_view kBlockTags =
    "|p|h1|h2|h3|h4|h5|h6|ul|ol|dir|menu|pre|dl|div|center|noscript|noframes|blockquote|form|isindex|hr|"
    "table|fieldset|address|";
constexpr std::string_view kEmptyTags = "|basefont|br|area|link|img|param|hr|input|col|frame|isindex|base|meta|";

}  // namespace

void StripTagBrackets(std::string_view& inside) {
    if (inside.size() > 1 && inside.front() == '<') inside.remove_prefix(1);
    if (inside.size() > 1 && inside.back() == '>') inside.remove_suffix(1);
}

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
            while (k + 1 < t.size() && IsTagSpace(t[k + 1])) ++k;
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

// Most tags are a plain name ended by a blank, taken straight from the input.
void SplitStartTag(std::string_view inside, std::string_view& name, std::string_view& rest, std::string& nameBuffer) {
    std::size_t k = 0;
    for (; k < inside.size(); ++k) {
        const char c = inside[k];
        if (IsTagSpace(c) || c == '"' || c == '\'' || c == '=') break;
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

bool InTagList(TTagList list, std::string_view lowerName) {
    if (lowerName.empty()) return false;
    std::string needle;
    needle.reserve(lowerName.size() + 2);
    needle += '|';
    needle += lowerName;
    needle += '|';
    const std::string_view text =
        list == TTagList::OptionalEnd ? kOptionalEndTags : list == TTagList::Block ? kBlockTags : kEmptyTags;
    return text.find(needle) != std::string_view::npos;
}

}  // namespace vemra::html
