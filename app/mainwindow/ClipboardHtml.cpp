#include "ClipboardHtml.h"

#include <cstdint>
#include <stdexcept>
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

// The rows and cells of the text's last table, read as the parse goes, without a tree: a copy
// whose cells are never closed nests every later row and cell inside the one before, and a
// tree of it costs many times the copy's size. Each element open inside the table is marked
// with the innermost cell around it, so a text goes to the cell it would lie in. The texts
// are kept in document order as pieces of one buffer, each piece tagged with its cell.
class TTableCellReader final : public THTMLEventSink {
public:
    long long rows = 0;
    std::size_t cellCount = 0;

    std::uint32_t StartElement(std::string_view name, bool open, std::uint32_t outer) override {
        if (SameText(name, "table")) {
            // The last table counts, a table inside the one being read as well: start over.
            rows = 0;
            cellCount = 0;
            raw_.clear();
            pieces_.clear();
            reading_ = open;  // a table written "<table/>" holds nothing
            return kTable;
        }
        if (!reading_) return kNoMark;
        if (SameText(name, "tr")) {
            ++rows;
        } else if (IsCellTag(name)) {
            if (cellCount >= kInTable) throw std::length_error("too many table cells");
            return static_cast<std::uint32_t>(cellCount++);
        }
        return outer == kTable ? kInTable : outer;
    }

    void EndElement(std::uint32_t mark) override {
        if (mark == kTable) reading_ = false;  // only the table being read can end while it is read
    }

    void Text(std::string_view text, std::uint32_t outer) override {
        if (!reading_ || outer >= kInTable) return;
        if (raw_.size() + text.size() > UINT32_MAX) throw std::length_error("table text too long");
        raw_ += text;
        const auto end = static_cast<std::uint32_t>(raw_.size());
        if (!pieces_.empty() && pieces_.back().cell == outer)
            pieces_.back().end = end;
        else
            pieces_.push_back({outer, end});
    }

    // The raw texts of the cells, in cell order, each told to take(index, raw).
    template <class Take> void ForEachCell(Take take) const {
        // The pieces sorted by cell, document order kept within a cell.
        std::vector<std::uint32_t> first(cellCount + 1, 0);
        for (const Piece& piece : pieces_) ++first[piece.cell + 1];
        for (std::size_t c = 0; c < cellCount; ++c) first[c + 1] += first[c];
        std::vector<std::uint32_t> order(pieces_.size());
        {
            std::vector<std::uint32_t> next(first.begin(), first.end() - 1);
            for (std::size_t i = 0; i < pieces_.size(); ++i)
                order[next[pieces_[i].cell]++] = static_cast<std::uint32_t>(i);
        }
        std::string raw;
        for (std::size_t c = 0; c < cellCount; ++c) {
            raw.clear();
            for (std::uint32_t k = first[c]; k < first[c + 1]; ++k) {
                const std::uint32_t i = order[k];
                const std::uint32_t begin = i == 0 ? 0 : pieces_[i - 1].end;
                raw.append(raw_, begin, pieces_[i].end - begin);
            }
            take(c, raw);
        }
    }

private:
    // Marks besides the cells' indexes: the table being read, and an element in it outside
    // every cell.
    static constexpr std::uint32_t kTable = kNoMark - 1;
    static constexpr std::uint32_t kInTable = kNoMark - 2;
    struct Piece {
        std::uint32_t cell;
        std::uint32_t end;  // in raw_; the piece begins where the one before ends
    };
    bool reading_ = false;
    std::string raw_;
    std::vector<Piece> pieces_;
};

}  // namespace

std::string ExtractHtmlFragment(std::string_view text) {
    std::size_t start = 0;
    std::size_t end = 0;
    bool bareRows = false;
    {
        // The upper-case copy goes before the document is built: a copy can be megabytes.
        const std::string upper = UpperCase(text);
        const std::size_t startHit = upper.find(StartMarker);
        end = upper.find(EndMarker);
        if (startHit == std::string::npos || end == std::string::npos) return {};
        start = startHit + StartMarker.size();
        if (end < start) return {};
        const std::string_view span = std::string_view(upper).substr(start, end - start);
        bareRows = span.find("<TR") != std::string_view::npos && span.find("<TABLE") == std::string_view::npos;
    }
    constexpr std::string_view Head = "<html><body>";
    constexpr std::string_view Tail = "</body></html>";
    constexpr std::string_view TableHead = "<table>";
    constexpr std::string_view TableTail = "</table>";
    std::string doc;
    doc.reserve(Head.size() + TableHead.size() + (end - start) + TableTail.size() + Tail.size());
    doc += Head;
    if (bareRows) doc += TableHead;
    doc += text.substr(start, end - start);
    if (bareRows) doc += TableTail;
    doc += Tail;
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
    // The parser's tree is left alone: its last parse is no part of the result.
    parser.ClearTree();
    TTableCellReader cells;
    ScanHTMLEvents(ExtractHtmlFragment(htmlFormatText), cells);
    const long long rowCount = cells.rows;
    const long long cellCount = static_cast<long long>(cells.cellCount);
    if (rowCount * cellCount < 1) return THtmlTableResult::NoTable;
    // A first cell spanning the header row is missing from the count: keep the grid.
    const bool padded = cellCount % rowCount != 0 && (cellCount + 1) % rowCount == 0;
    const std::size_t count = cells.cellCount + (padded ? 1 : 0);
    const std::size_t perRow = count / static_cast<std::size_t>(rowCount);
    if (perRow == 0) return THtmlTableResult::Abandoned;
    if (padded) text += perRow == 1 ? "\r\n" : "\t";  // the missing first cell, empty
    cells.ForEachCell([&](std::size_t c, const std::string& raw) {
        text += CellText(raw);
        text += (c + (padded ? 1 : 0) + 1) % perRow == 0 ? "\r\n" : "\t";
    });
    return THtmlTableResult::Table;
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
