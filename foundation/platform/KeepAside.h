#pragma once
// Setting a damaged file aside under a name of its own, so that whatever it held can still
// be looked at and an earlier damaged copy is never replaced.

#include <functional>
#include <string>

namespace vemra {

// Renames path to "<path>.damaged-<UTC stamp>" (with "-2", "-3", ... when that name is
// taken); the new name, or "" when it could not be moved.
std::string KeepAside(const std::string& path);

// Renames from to to unless a file of that name exists (then false with errno EEXIST): the
// rename itself refuses where the file system can, so no file that appears meanwhile is lost.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Renames from to the first of nameFor(1), nameFor(2), ... (up to 99) that no file holds, so a
// copy kept earlier, or by another program meanwhile, stays; the name taken, or "" when the
// file could not be moved.
std::string RenameToFreeName(const std::string& from, const std::function<std::string(int n)>& nameFor);

}  // namespace vemra
