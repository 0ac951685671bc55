#include "ClipboardHtml.h"

#include <vector>

#include "html/HTMLParser.h"
#include "html/htmlmisc.h"
#include "rtl/SysUtils.h"

namespace vemra {

namespace {

constexpr std::string_view StartMarker = "STARTFRAGMENT-->";
constexpr std::string_view EndMarker = "<!--ENDFRAGMENT-->";

bool IsCellTag(std::string_view name) { return SameText(name, "td") || SameText(name, "th"); }

// A cell's text ready for the conversion: trimmed, entities decoded, and without anything that
// the conversion would read as a row or column break. Pages copied on X11 end their lines with
// a bare LF, and indented source puts TABs inside cells; CR LF is what the clipboard of other
// systems carries.
std::string CellText(std::string_view raw) {
    std::string text = DecodeEntities(Trim(raw));
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') continue;
        out += c == '\t' ? ' ' : c;
    }
    return Trim(SanitizeUtf8(out));
}

// The last table of the tree (the last "table" element in document order).
const THierarchyNode* LastTable(const THierarchyNode* root) {
    const THierarchyNode* table = nullptr;
    std::vector<const THierarchyNode*> pending{root};
    while (!pending.empty()) {
        const THierarchyNode* node = pending.back();
        pending.pop_back();
        if (node != root)
            if (const TTagNode* tag = TTagNode::FromNode(node); tag != nullptr && SameText(tag->TagName, "table"))
                table = node;
        // Children pushed last first, so they come off in document order.
        const TNodeChildren& children = node->Children();
        for (int i = children.size(); i-- > 0;) pending.push_back(children[i]);
    }
    return table;
}

struct TTableCells {
    long long rows = 0;
    std::vector<std::string> texts;  // raw, one per cell in document order
};

// The rows and cells of a table in one walk. A cell's text is the text of its own: a cell
// that is not closed holds the next row and cells as children, and taking its whole subtree's
// text (as for a closed cell) would copy the rest of the table once per cell.
TTableCells ReadCells(const THierarchyNode* table) {
    TTableCells out;
    // Nodes still to visit, the next on top. A stack of frames per open level would grow
    // with the depth, and the unclosed cells of a long table nest as deep as it has cells;
    // this one holds only the siblings still to come, a few for such a table.
    struct Pending {
        const THierarchyNode* node;
        std::ptrdiff_t cell;  // the innermost cell around the node; -1 outside every cell
    };
    std::vector<Pending> pending;
    const auto pushChildren = [&pending](const THierarchyNode* node, std::ptrdiff_t cell) {
        const TNodeChildren& children = node->Children();
        for (int i = children.size(); i-- > 0;) pending.push_back({children[i], cell});
    };
    pushChildren(table, -1);
    while (!pending.empty()) {
        const auto [child, outer] = pending.back();
        pending.pop_back();
        std::ptrdiff_t cell = outer;
        if (child->Kind == tkText) {
            if (cell >= 0) out.texts[static_cast<std::size_t>(cell)] += child->Text.View();
            continue;
        }
        if (const TTagNode* tag = TTagNode::FromNode(child)) {
            if (SameText(tag->TagName, "tr")) {
                ++out.rows;
            } else if (IsCellTag(tag->TagName)) {
                cell = static_cast<std::ptrdiff_t>(out.texts.size());
                out.texts.emplace_back();
            }
        }
        pushChildren(child, cell);
    }
    return out;
}

}  // namespace

std::string ExtractHtmlFragment(std::string_view text) {
    const std::string upper = UpperCase(text);
    const std::size_t startHit = upper.find(StartMarker);
    const std::size_t end = upper.find(EndMarker);
    if (startHit == std::string::npos || end == std::string::npos) return {};
    const std::size_t start = startHit + StartMarker.size();
    if (end < start) return {};
    const std::string_view fragment = text.substr(start, end - start);
    const std::string_view span = std::string_view(upper).substr(start, end - start);
    std::string doc;
    if (span.find("<TR") == std::string_view::npos || span.find("<TABLE") != std::string_view::npos)
        doc = "<html><body>" + std::string(fragment) + "</body></html>";
    else
        doc = "<html><body><table>" + std::string(fragment) + "</table></body></html>";
    return doc;
}

std::string PresentAsHtmlFormat(std::string_view html) {
    // Offsets in the header are informative only; readers look for the markers.
    std::string out = "Version:0.9\r\nStartHTML:-1\r\nEndHTML:-1\r\nStartFragment:-1\r\nEndFragment:-1\r\n";
    out += "<html><body>\r\n<!--StartFragment-->";
    out.append(html);
    out += "<!--EndFragment-->\r\n</body></html>";
    return out;
}

THtmlTableResult HtmlTableToText(THTMLParser& parser, std::string_view htmlFormatText, std::string& text) {
    text.clear();
    parser.ParseHTML(ExtractHtmlFragment(htmlFormatText));
    THtmlTableResult result = THtmlTableResult::NoTable;
    if (const THierarchyNode* table = LastTable(parser.Root())) {
        TTableCells cells = ReadCells(table);
        parser.ClearTree();  // the tree is done with: its memory goes before the text is built
        const long long rowCount = cells.rows;
        const long long cellCount = static_cast<long long>(cells.texts.size());
        if (rowCount * cellCount >= 1) {
            // A first cell spanning the header row is missing from the count: keep the grid.
            const bool padded = cellCount % rowCount != 0 && (cellCount + 1) % rowCount == 0;
            const std::size_t count = cells.texts.size() + (padded ? 1 : 0);
            const std::size_t perRow = count / static_cast<std::size_t>(rowCount);
            if (perRow == 0) {
                result = THtmlTableResult::Abandoned;
            } else {
                std::size_t size = 0;
                for (std::string& cell : cells.texts) {
                    cell = CellText(cell);
                    size += cell.size() + 2;
                }
                text.reserve(size + 2);
                for (std::size_t i = 0; i < count; ++i) {
                    if (!padded || i > 0) text += cells.texts[i - (padded ? 1 : 0)];
                    text += (i + 1) % perRow == 0 ? "\r\n" : "\t";
                }
                result = THtmlTableResult::Table;
            }
        }
    }
    parser.ClearTree();
    return result;
}

std::string SanitizeUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        std::size_t len = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) { out += static_cast<char>(c); ++i; continue; }
        if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; }
        bool ok = len != 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (ok && ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                   (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))))
            ok = false;
        if (ok) { out.append(s.substr(i, len)); i += len; }
        else { out += "\xEF\xBF\xBD"; ++i; }
    }
    return out;
}

}  // namespace vemra
