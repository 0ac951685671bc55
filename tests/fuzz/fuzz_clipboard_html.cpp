// Any bytes as copied HTML: as the text/html payload another program put on the clipboard
// (wrapped in the "HTML Format" shape, as the program reads it) and as an "HTML Format" text
// of its own (the fragment markers anywhere or nowhere). Besides the sanitizers' findings, a
// result that breaks its contract aborts the run: every cell stays one cell (no line break
// or TAB of its own), the text is well-formed UTF-8 and linear in the input's size, and the
// parse tree is freed afterwards.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ClipboardHtml.h"
#include "html/HTMLParser.h"

namespace {

using namespace vemra;

void Require(bool condition) {
    if (!condition) std::abort();
}

void Check(THTMLParser& parser, std::string_view clip, std::size_t inputSize) {
    std::string text = "stale";
    const THtmlTableResult result = HtmlTableToText(parser, clip, text);
    Require(parser.Root()->ChildCount() == 0);
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
