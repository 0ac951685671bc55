#pragma once
// The scan of THTMLParser::ParseHTML: one pass over the text with a small state machine that
// builds the tree under the parser's root.

#include <string_view>

namespace vemra {
class THTMLParser;
class THTMLEventSink;
}

namespace vemra::html {

// Parses text into parser's (cleared) tree and fires its events.
void ScanHTML(THTMLParser& parser, std::string_view text);
// The same scan without a tree: the sink hears what the tree would be built of.
void ScanHTML(std::string_view text, THTMLEventSink& sink);

}  // namespace vemra::html
