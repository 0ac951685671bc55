#pragma once
// Whether another user could have placed or changed a file: the programs load plug-in
// libraries and install packages only from places that no one but the user (and root) can
// write, since their code runs with the user's rights.

#include <string>

namespace vemra::platform {

// True when the file (or folder) or the folder holding it is owned by someone other than the
// user or root, or is writable by others or by a group other than the user's own private group
// (named as the user, with no listed members, and no other user's primary group).
// A folder with the sticky bit set (as /tmp) protects the files of their owners and counts as
// safe for them. A path that cannot be examined is not trusted.
bool WritableByOthers(const std::string& path);

}  // namespace vemra::platform
