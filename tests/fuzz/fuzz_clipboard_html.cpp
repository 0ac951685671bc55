// Any bytes as copied HTML: as the text/html payload another program put on the clipboard
// (wrapped in the "HTML Format" shape, as the program reads it) and as an "HTML Format" text
// of its own (the fragment markers anywhere or nowhere). Besides the sanitizers' findings, a
// result that breaks its contract aborts the run: every cell stays one cell (no line break
// or TAB of its own), the text is well-formed UTF-8 and linear in the input's size, and the
// parse tree is freed afterwards. The result must also equal that of the plain reading: the
// whole parse tree built, then its last table walked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ClipboardHtml.h"
#include "html/HTMLParser.h"
#include "html/htmlmisc.h"
#include "rtl/SysUtils.h"

namespace {

using namespace vemra;

void Require(bool condition) {
    if (!condition) std::abort();
}

// ---- the reference: the tree of the whole parse, walked ----

std::string ReferenceCellText(std::string_view raw) {
    const std::string text = DecodeEntities(Trim(raw));
    std::string out;
    for (const char c : text) {
        if (c == '\r' || c == '\n') continue;
        out += c == '\t' ? ' ' : c;
    }
    return Trim(SanitizeUtf8(out));
}

bool IsNamed(const THierarchyNode* node, std::string_view name) {
    const TTagNode* tag = TTagNode::FromNode(node);
    return tag != nullptr && SameText(tag->TagName, name);
}

// Pre-order walk of the nodes under root with the innermost cell around each (-1: none).
template <class Visit> void Walk(const THierarchyNode* root, Visit visit) {
    std::vector<std::pair<const THierarchyNode*, std::ptrdiff_t>> pending;
    for (int i = root->Children().size(); i-- > 0;) pending.push_back({root->Children()[i], -1});
    while (!pending.empty()) {
        const auto [node, outer] = pending.back();
        pending.pop_back();
        const std::ptrdiff_t cell = visit(node, outer);
        for (int i = node->Children().size(); i-- > 0;) pending.push_back({node->Children()[i], cell});
    }
}

std::string ReferenceFragment(std::string_view text) {
    const std::string upper = UpperCase(text);
    const std::size_t startHit = upper.find("STARTFRAGMENT-->");
    const std::size_t end = upper.find("<!--ENDFRAGMENT-->");
    if (startHit == std::string::npos || end == std::string::npos) return {};
    const std::size_t start = startHit + 16;
    if (end < start) return {};
    const std::string fragment(text.substr(start, end - start));
    const std::string_view span = std::string_view(upper).substr(start, end - start);
    if (span.find("<TR") == std::string_view::npos || span.find("<TABLE") != std::string_view::npos)
        return "<html><body>" + fragment + "</body></html>";
    return "<html><body><table>" + fragment + "</table></body></html>";
}

THtmlTableResult ReferenceTableToText(std::string_view clip, std::string& text) {
    text.clear();
    THTMLParser parser;
    const std::string doc = ReferenceFragment(clip);
    Require(ExtractHtmlFragment(clip) == doc);
    parser.ParseHTML(doc);
    const THierarchyNode* table = nullptr;
    Walk(parser.Root(), [&table](const THierarchyNode* node, std::ptrdiff_t) {
        if (IsNamed(node, "table")) table = node;
        return -1;
    });
    if (table == nullptr) return THtmlTableResult::NoTable;
    long long rows = 0;
    std::vector<std::string> cells;
    Walk(table, [&](const THierarchyNode* node, std::ptrdiff_t cell) -> std::ptrdiff_t {
        if (node->Kind == tkText) {
            if (cell >= 0) cells[static_cast<std::size_t>(cell)] += node->Text.View();
        } else if (IsNamed(node, "tr")) {
            ++rows;
        } else if (IsNamed(node, "td") || IsNamed(node, "th")) {
            cells.emplace_back();
            return static_cast<std::ptrdiff_t>(cells.size()) - 1;
        }
        return cell;
    });
    const long long cellCount = static_cast<long long>(cells.size());
    if (rows * cellCount < 1) return THtmlTableResult::NoTable;
    const bool padded = cellCount % rows != 0 && (cellCount + 1) % rows == 0;
    const std::size_t count = cells.size() + (padded ? 1 : 0);
    const std::size_t perRow = count / static_cast<std::size_t>(rows);
    if (perRow == 0) return THtmlTableResult::Abandoned;
    for (std::size_t i = 0; i < count; ++i) {
        if (!padded || i > 0) text += ReferenceCellText(cells[i - (padded ? 1 : 0)]);
        text += (i + 1) % perRow == 0 ? "\r\n" : "\t";
    }
    return THtmlTableResult::Table;
}

void Check(THTMLParser& parser, std::string_view clip, std::size_t inputSize) {
    std::string text = "stale";
    const THtmlTableResult result = HtmlTableToText(parser, clip, text);
    Require(parser.Root()->ChildCount() == 0);
    std::string expected;
    Require(ReferenceTableToText(clip, expected) == result);
    Require(text == expected);
    if (result != THtmlTableResult::Table) {
        Require(text.empty());
        return;
    }
    // A CR only before LF, a LF only after CR: the rows; TABs between the cells of a row.
    std::size_t rows = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') Require(i + 1 < text.size() && text[i + 1] == '\n');
        if (text[i] != '\n') continue;
        Require(i > 0 && text[i - 1] == '\r');
        ++rows;
    }
    Require(rows > 0);  // at least one full row, or the table was abandoned
    Require(SanitizeUtf8(text) == text);
    // A byte of the input gives at most three of the text (an ill-formed byte becomes
    // U+FFFD); every cell, at least "<td>" long, adds two separators at most.
    Require(text.size() <= 4 * inputSize + 64);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    THTMLParser parser;
    Check(parser, PresentAsHtmlFormat(input), size);
    Check(parser, input, size);
    return 0;
}
