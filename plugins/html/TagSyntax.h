#pragma once
// The syntax of start tags: splitting the inside of a tag into its name and attribute lines,
// and the three tag lists that decide how elements close.

#include <cstddef>
#include <string>
#include <string_view>

#include "rtl/StringList.h"

namespace vemra::html {

// Drops a leading "<" and then a trailing ">", each only from a text longer than 1 byte.
void StripTagBrackets(std::string_view& inside);

// Splits the words of a start tag's inside. The first word goes to *name when name is given
// (and stopAtName ends the scan there, returning where the attribute lines begin); the other
// words are lines of *list.
std::size_t ScanTagWords(std::string_view t, std::string* name, TStringList* list, bool stopAtName);

// The attribute lines of the text after a tag's name.
void BuildAttributeLines(std::string_view raw, TStringList& list);

// The name of a start tag (a view of inside, or of nameBuffer) and the text of its attributes.
void SplitStartTag(std::string_view inside, std::string_view& name, std::string_view& rest, std::string& nameBuffer);

enum class TTagList { OptionalEnd, Block, Empty };

// Membership of a lower-case name: "|" + name + "|" occurs in the list's text.
bool InTagList(TTagList list, std::string_view lowerName);

}  // namespace vemra::html
