#pragma once
// What the installer and the updater share without windows: the names of the installed
// programs, the keys they write, the folder set of each installation type, the folder
// checks and the command-line rules.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vemra::setup {

inline constexpr const char* kInstallKey = "Software\\Vemra";
inline constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const char* kUninstallSubkey = "Vemra";
inline constexpr const char* kProductName = "Vemra Currency Converter";
inline constexpr const char* kPublisher = "BREMOLT Software";
inline constexpr const char* kUninstallArgument = "/UNINSTALL";
inline constexpr const char* kLicenseFile = "license.rtf";
// The converter's name in its single-instance marks.
inline constexpr const char* kConverterName = "Vemra";
// The passes AppIsRunning makes at most, and its wait between them.
inline constexpr int kQuitPasses = 51;
inline constexpr int kQuitPassMs = 100;

// File names inside the program folder, and the product's web address.
std::string MainProgramName();
std::string UpdaterProgramName();
// The download helper the converter runs for every download.
std::string FetchProgramName();
std::string ProductAddress();

// Installation types (the index of the type list).
inline constexpr int kAllUsers = 0;
inline constexpr int kCurrentUser = 1;

// The folders that follow the installation type (each a special folder + "/Vemra").
struct TInstallFolders {
    std::string PubData;      // plug-ins folder
    std::string AppMenu;      // start-menu folder
    std::string DesktopBase;  // desktop shortcut without extension
    std::string StartupBase;  // start-up shortcut without extension
};
TInstallFolders FoldersForType(int type);
// program files + "/Vemra".
std::string DefaultProgramFolder();
// local application data + "/Vemra".
std::string LocalAppDataFolder();

// Makes each folder (with its parents) and creates and deletes "test.tmp" in it; true when
// that worked for all of them. An empty folder name fails.
bool CheckFoldersWritable(const std::vector<std::string>& folders);
// A folder name as the folder boxes keep it: "/Vemra" appended unless "VEMRA" is in it (any
// case), then the first "//" made "/".
std::string FolderWithVemra(std::string_view text);
// "/DATA=<folder>" (any case): true and the folder (at most 256 bytes, one trailing '/' off)
// when the parameter has the prefix; the folder is "" when nothing follows it.
bool ParseDataParameter(std::string_view parameter, std::string& folder);
// A folder given on the command line as an absolute path: a relative one is taken from the
// current folder (as the user who typed it meant), "." and ".." resolved; "" when the
// current folder is unknown. The installation records it, and the converter, started from
// anywhere, must find the same folder.
std::string AbsoluteFolder(std::string_view folder);
// Whether "All users" can be installed: its folders are the machine's, not the user's own
// that stand in where the machine's cannot be written (a normal user).
bool CanInstallForAllUsers();
// "/INSTALL" in any case.
bool IsInstallParameter(std::string_view parameter);

// The single-instance marks of a program: "JustOne<name>.exeApp" and "JustOne<name>App".
std::vector<std::string> InstanceAtomNames(std::string_view name);
// Up to kQuitPasses passes: while an atom of the program exists, askToQuit() and wait(); stops
// at the first pass in which none exists. True when one still existed in the last pass made;
// passes gets the number of passes made.
bool AppIsRunning(std::string_view name, const std::function<void()>& askToQuit,
                  const std::function<void()>& wait, int& passes);

// The text of an RTF document, for showing the licence where no program opens it: paragraphs
// and line breaks become line ends, \tab a tab, \'hh a Latin-1 character and \uN its
// character (both as UTF-8); font and colour tables, pictures and other destinations are
// left out, as is all formatting.
std::string RtfToPlainText(std::string_view rtf);

// A folder of the user's own (mode 0700) made with a fresh name inside parent, where no other
// user can place or replace a file the installer writes; "" when it cannot be made.
std::string MakePrivateFolder(const std::string& parent, std::string_view prefix);

// Removes write access for group and others from a folder the installer made, so that no other
// user can place packages or libraries the converter would load. False when it cannot.
bool RestrictToOwner(const std::string& folder);

}  // namespace vemra::setup
