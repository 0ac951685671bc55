#include "ClipboardHtml.h"

#include <vector>

#include "html/HTMLParser.h"
#include "html/htmlmisc.h"
#include "rtl/SysUtils.h"

namespace vemra {

namespace {

constexpr std::string_view StartMarker = "STARTFRAGMENT-->";
constexpr std::string_view EndMarker = "<!--ENDFRAGMENT-->";

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    for (std::size_t hit; (hit = text.find(from, at)) != std::string::npos; at = hit + from.size()) {
        out.append(text, at, hit - at);
        out.append(to);
    }
    out.append(text, at, std::string::npos);
    return out;
}

std::string CellText(const THierarchyNode* cell) {
    std::string text = ReplaceAll(GetNodeText(cell), "\r\n", "");
    text = DecodeEntities(Trim(text));
    return Trim(SanitizeUtf8(text));
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
    doc = ReplaceAll(std::move(doc), "<TH ", "<TR ");
    return ReplaceAll(std::move(doc), "</TH>", "</TR>");
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
    TTagNodeList all;
    FindAllTags(parser.Root(), "*", &all);
    const TTagNode* table = nullptr;
    for (int i = 0; i < all.TagListCount(); ++i)
        if (SameText(std::string_view(all.TagListItem(i)->TagName), "table")) table = all.TagListItem(i);
    THtmlTableResult result = THtmlTableResult::NoTable;
    if (table != nullptr) {
        TTagNodeList rows;
        TTagNodeList cells;
        FindAllTags(table, "tr", &rows);
        FindAllTags(table, "td", &cells);
        const long long rowCount = rows.TagListCount();
        const long long cellCount = cells.TagListCount();
        if (rowCount * cellCount >= 1) {
            std::vector<std::string> items;
            items.reserve(static_cast<std::size_t>(cellCount) + 1);
            // A first cell spanning the header row is missing from the count: keep the grid.
            if (cellCount % rowCount != 0 && (cellCount + 1) % rowCount == 0) items.emplace_back();
            for (int i = 0; i < cells.TagListCount(); ++i) items.push_back(CellText(cells.TagListItem(i)));
            const std::size_t perRow = items.size() / static_cast<std::size_t>(rowCount);
            if (perRow == 0) {
                result = THtmlTableResult::Abandoned;
            } else {
                for (std::size_t i = 0; i < items.size(); ++i) {
                    text += items[i];
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
