#pragma once
// Copying a file the way the shell's copy does: contents, permission bits and modification
// time. The copy is written to a temporary file beside the destination and renamed into
// place, so the destination is never seen half-written.

#include <string>

namespace vemra::platform {

// False when the source cannot be read, the destination exists and failIfExists is set,
// the destination exists and is read-only (no write permission bit), or writing fails.
bool CopyFileContents(const std::string& source, const std::string& destination, bool failIfExists);

}  // namespace vemra::platform
