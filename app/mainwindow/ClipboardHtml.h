#pragma once
// Reading the "HTML Format" clipboard data: the fragment between its markers, and the cells
// of its last table as TAB- and line-separated text for the conversion run.

#include <string>
#include <string_view>

namespace vemra {

class THTMLParser;

// The fragment of an "HTML Format" text, wrapped into a document (and into a table when it
// holds bare rows); "" when a marker is missing.
std::string ExtractHtmlFragment(std::string_view text);

// The "HTML Format" shape of a text/html payload as other programs put it on an X11
// clipboard: a header with the fragment markers around the payload.
std::string PresentAsHtmlFormat(std::string_view html);

enum class THtmlTableResult { NoTable, Table, Abandoned };

// The cell texts (td and th) of the fragment's last table, TAB between the cells of a row and
// CR LF after each row. Abandoned when there are fewer cells than rows; NoTable leaves text
// empty.
THtmlTableResult HtmlTableToText(THTMLParser& parser, std::string_view htmlFormatText, std::string& text);

// Replaces every ill-formed UTF-8 sequence by U+FFFD, as a UTF-8 to UTF-16 conversion does.
std::string SanitizeUtf8(std::string_view text);

}  // namespace vemra
