#pragma once
// The updater's one job: removing an installation ("/UNINSTALL"). It takes away what the
// installer wrote (the programs and the licence, the resource library and the installed
// plug-in libraries, the waiting packages and the master plug-in store, the shortcuts, the
// install key and the uninstall entry) without asking, and keeps the user's data: day rate
// files, the currency configuration and names, logs, the plug-in state and the user's
// settings, as a package manager's remove does.

#include <functional>
#include <string>
#include <vector>

namespace vemra::updater {

struct TUninstallResult {
    bool Ok = false;
    std::string Error;                 // why it stopped, when not Ok
    std::vector<std::string> Removed;  // files and folders taken away
};

// Asks a running converter to quit (command 99, up to 51 passes); askToQuit and wait are
// the message and the pause between passes. Stops without removing anything while it runs.
TUninstallResult Uninstall(const std::function<void()>& askToQuit, const std::function<void()>& wait);

}  // namespace vemra::updater
