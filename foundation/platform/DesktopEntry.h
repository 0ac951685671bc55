#pragma once
// Shortcuts as freedesktop desktop entries (".desktop" files).

#include <string>

namespace vemra::platform {

inline constexpr const char* kShortcutExtension = ".desktop";

// The text of an application entry named `name` that starts `target` with `arguments` (the
// rest of the command line, in the entry's own Exec syntax) in the target's folder.
std::string RenderDesktopEntry(const std::string& name, const std::string& target,
                               const std::string& arguments);

}  // namespace vemra::platform
