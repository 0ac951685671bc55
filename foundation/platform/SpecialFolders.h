#pragma once
// The folders the shell helpers hand out, resolved the freedesktop way:
//   0 program files      /opt when writable, else ~/.local/opt
//   1 desktop            XDG_DESKTOP_DIR of user-dirs.dirs, else ~/Desktop
//   2 local app data     $XDG_DATA_HOME, else ~/.local/share
//   3 programs menu      <local app data>/applications
//   4 start-up           $XDG_CONFIG_HOME/autostart, else ~/.config/autostart
//   5 common desktop     /usr/local/share/applications
//   6 common documents   /var/lib
//   7 common programs    /usr/local/share/applications
//   8 common start-up    /etc/xdg/autostart
//   9 documents          XDG_DOCUMENTS_DIR of user-dirs.dirs, else ~/Documents
//  10 Windows folder     /usr/share
//  11 System folder      /usr/lib
//  12 temporary folder   $TMPDIR, else /tmp
// No result ends with '/' (except the root itself).
// The machine-wide kinds (0, 5-8) lie under $VEMRA_SYSTEM_ROOT when it is set (tests) and fall
// back to the user's kinds (~/.local/opt, 1, 9, 3, 4) where they cannot be written: the
// nearest existing folder of the path, not above the system root, decides.

#include <optional>
#include <string>

namespace vemra::platform {

// The folder of a kind; nullopt for kinds outside 0..12; "" when it cannot be resolved
// (no home folder known).
std::optional<std::string> SpecialFolderPath(int kind);

// $VEMRA_SYSTEM_ROOT (absolute) under which every machine-wide path lies, so that a test or a
// run for one user writes nothing of the machine's own; "" for the real root.
std::string SystemRoot();
// Whether a machine-wide folder (a path under SystemRoot()) can be written: the nearest
// existing folder of the path, not above the system root, decides.
bool MachineFolderWritable(const std::string& folder);

// The user's configuration folder: $XDG_CONFIG_HOME when it is absolute, else ~/.config;
// "" when no home folder is known.
std::string XdgConfigHome();

}  // namespace vemra::platform
