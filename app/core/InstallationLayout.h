#pragma once
// Lays out an installation of the converter for the current user the way the installer
// does: the install key under HKEY_LOCAL_MACHINE, the program folder, the shared data with
// the pending plug-in packages and the master plug-in store, the user's data with the
// resource library. The run command and the tests use it until the installer exists.

#include <string>

namespace vemra {

struct TInstallationLayout {
    std::string AppFolder;    // the program
    std::string PubData;      // plug-ins, rate files, logs
    std::string AppData;      // the user's data of the installation
    std::string AppMenu;
    std::string StartupIcon;  // the session's start-up entry (made by the program itself)
};

// The folders under the user's XDG data home ($XDG_DATA_HOME, else ~/.local/share) and
// the start-up entry in $XDG_CONFIG_HOME/autostart (else ~/.config/autostart).
TInstallationLayout UserInstallationLayout();

// True when the install key names a program folder that holds the program.
bool InstallationExists();

// Copies the program file (none when empty) into AppFolder, the shipped resource library,
// packages and master store from shippedDir, and writes the install key. False with a
// reason in error when a file or the key cannot be written.
bool LayOutInstallation(const std::string& shippedDir, const std::string& programFile,
                        const TInstallationLayout& layout, std::string& error);

}  // namespace vemra
