#pragma once
// The output side of a conversion run.

#include <string>

#include "rtl/StringList.h"

namespace vemra {

// The list's texts joined by TAB, trimmed of characters up to blank at both ends.
std::string JoinCells(const TStringList& cells);

}  // namespace vemra
